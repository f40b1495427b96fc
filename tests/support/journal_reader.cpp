#include "tests/support/journal_reader.h"

#include "tests/support/kova_process.h"

#include <cstdio>
#include <fstream>

ScopedJournal::ScopedJournal()
{
    char dir[MAX_PATH] = {};
    GetTempPathA(sizeof(dir), dir);
    char path[MAX_PATH] = {};
    static LONG counter = 0;
    std::snprintf(path, sizeof(path), "%skova-journal-%lu-%ld.txt", dir, GetCurrentProcessId(),
                  InterlockedIncrement(&counter));
    m_path = path;
    DeleteFileA(m_path.c_str());
    SetEnvironmentVariableA("KOVA_JOURNAL", m_path.c_str());
}

ScopedJournal::~ScopedJournal()
{
    SetEnvironmentVariableA("KOVA_JOURNAL", nullptr);
    DeleteFileA(m_path.c_str());
}

std::vector<std::string> ScopedJournal::Lines() const
{
    std::vector<std::string> lines;
    std::ifstream in(m_path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty()) {
            lines.push_back(line);
        }
    }
    return lines;
}

std::vector<std::string> ScopedJournal::Calls(const std::string& library, const std::string& exportName) const
{
    std::vector<std::string> calls;
    const std::string prefix = library + " " + exportName;
    for (const std::string& line : Lines()) {
        if (line.compare(0, prefix.size(), prefix) == 0 &&
            (line.size() == prefix.size() || line[prefix.size()] == ' ')) {
            calls.push_back(line);
        }
    }
    return calls;
}

bool ScopedJournal::WaitForCalls(const std::string& library, const std::string& exportName, size_t count,
                                 DWORD timeoutMs) const
{
    return WaitUntil([&] { return Calls(library, exportName).size() >= count; }, timeoutMs);
}
