#include "config/read_log.h"

namespace {

ConfigReadLog* g_active = nullptr;

bool SameNoCase(const std::string& a, const char* b)
{
    return lstrcmpiA(a.c_str(), b ? b : "") == 0;
}

}  // namespace

ConfigReadLog::ConfigReadLog() : m_previous(g_active) { g_active = this; }

ConfigReadLog::~ConfigReadLog() { g_active = m_previous; }

ConfigReadLog* ConfigReadLog::Active() { return g_active; }

void ConfigReadLog::Add(const ValueRead& read) { m_reads.push_back(read); }

const ValueRead* ConfigReadLog::Find(HKEY root, const char* key, const char* name) const
{
    return FindValueRead(m_reads, root, key, name);
}

const ValueRead* FindValueRead(const std::vector<ValueRead>& reads, HKEY root, const char* key, const char* name)
{
    for (auto it = reads.rbegin(); it != reads.rend(); ++it) {
        if (it->Root == root && it->Outcome != ReadOutcome::KeyMissing && SameNoCase(it->Key, key) &&
            SameNoCase(it->Name, name)) {
            return &*it;
        }
    }
    return nullptr;
}

bool ConfigReadLog::KeyMissing(HKEY root, const char* key) const
{
    for (const ValueRead& read : m_reads) {
        if (read.Root == root && read.Outcome == ReadOutcome::KeyMissing && SameNoCase(read.Key, key)) {
            return true;
        }
    }
    return false;
}

void LogOutOfRange(HKEY root, const char* key, const char* name, uint32_t number, const char* rule)
{
    if (ConfigReadLog* log = ConfigReadLog::Active()) {
        ValueRead read;
        read.Root = root;
        read.Key = key;
        read.Name = name;
        read.Outcome = ReadOutcome::OutOfRange;
        read.Type = REG_DWORD;
        read.Size = sizeof(uint32_t);
        read.Number = number;
        read.Rule = rule;
        log->Add(read);
    }
}
