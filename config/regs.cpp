#include "config/regs.h"

#include "base/text_util.h"
#include "config/read_log.h"

#include <cstring>
#include <utility>

namespace {

thread_local RegistryOverlay* t_overlay = nullptr;

constexpr char SONG_SELECTOR_KEY[] = "SOFTWARE\\Tallis\\SongBox Selector\\Settings";
constexpr char SONG_SELECTOR_EXE[] = "\\SBSelector.exe";

}  // namespace

LONG CRegs::Open(HKEY root, const char* subkey, REGSAM access)
{
    if (m_open) {
        return REGS_ALREADY_OPEN;
    }
    HKEY key = nullptr;
    HKEY replacement = nullptr;
    LONG rc = RegistryOverlay::Find(root, subkey, &replacement)
                  ? (replacement ? RegOpenKeyExA(replacement, nullptr, 0, access, &key) : ERROR_FILE_NOT_FOUND)
                  : RegOpenKeyExA(root, subkey, 0, access, &key);
    if (ConfigReadLog* log = ConfigReadLog::Active()) {
        m_root = root;
        CopyCut(m_path, subkey ? subkey : "");
        if (rc != ERROR_SUCCESS) {
            ValueRead read;
            read.Root = root;
            read.Key = m_path;
            read.Outcome = ReadOutcome::KeyMissing;
            log->Add(read);
        }
    }
    if (rc != ERROR_SUCCESS) {
        return rc;
    }
    m_key = key;
    m_open = 1;
    m_songSelectorRedirect = subkey && std::strcmp(subkey, SONG_SELECTOR_KEY) == 0;
    return ERROR_SUCCESS;
}

RegistryOverlay::RegistryOverlay() : m_previous(t_overlay) { t_overlay = this; }

RegistryOverlay::~RegistryOverlay() { t_overlay = m_previous; }

void RegistryOverlay::Map(HKEY root, const char* subkey, HKEY replacement)
{
    if (!subkey || m_count == ENTRY_MAX) {
        return;
    }
    Entry& entry = m_entries[m_count++];
    entry.Root = root;
    CopyCut(entry.Subkey, subkey);
    entry.Replacement = replacement;
}

bool RegistryOverlay::Find(HKEY root, const char* subkey, HKEY* replacement)
{
    if (!t_overlay || !subkey) {
        return false;
    }
    for (int i = 0; i < t_overlay->m_count; ++i) {
        const Entry& entry = t_overlay->m_entries[i];
        if (entry.Root == root && lstrcmpiA(entry.Subkey, subkey) == 0) {
            *replacement = entry.Replacement;
            return true;
        }
    }
    return false;
}

LONG CRegs::Close()
{
    LONG rc = RegCloseKey(m_key);
    m_key = nullptr;
    m_open = 0;
    m_songSelectorRedirect = false;
    return rc;
}

LONG CRegs::QueryDword(const char* name, uint32_t* out)
{
    // Read into a local first: a value longer than 4 bytes fails with
    // ERROR_MORE_DATA and must leave the caller's default alone.
    DWORD value = 0;
    DWORD size = sizeof(value);
    DWORD type = REG_NONE;
    LONG rc = RegQueryValueExA(m_key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    if (rc != ERROR_SUCCESS) {
        LogRead(name, false, rc, type, size, 0, 0);
        return rc;
    }
    // Any 4-byte value is a little-endian number (installers write some as
    // REG_BINARY), but the characters of a text, or a value of 1 to 3 bytes,
    // would make a nonsense number out of a bad setting: the default stays.
    if (size != sizeof(value) || type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ ||
        type == REG_LINK) {
        LogRead(name, false, ERROR_INVALID_DATA, type, size, 0, 0);
        return ERROR_INVALID_DATA;
    }
    LogRead(name, false, ERROR_SUCCESS, type, size, 0, value);
    if (out) {
        *out = value;
    }
    return ERROR_SUCCESS;
}

LONG CRegs::QueryString(char* buf, int size, const char* name, uint32_t* outLen)
{
    if (!buf || !outLen || size < 1) {
        return REGS_BAD_ARGUMENT;
    }

    // One byte more than the registry may fill, so a stored text that lacks
    // its terminator is still terminated here.
    char work[REGS_WORK_BUFFER + 1] = {};
    DWORD type = REG_NONE;
    DWORD cb = REGS_WORK_BUFFER;
    LONG rc;

    if (std::exchange(m_songSelectorRedirect, false)) {
        rc = RegQueryValueExA(m_key, "SetupPath", nullptr, &type, reinterpret_cast<BYTE*>(work), &cb);
        if (rc == ERROR_SUCCESS && type == REG_SZ) {
            size_t folderLen = strnlen(work, REGS_WORK_BUFFER);
            // A folder whose joined path would not fit 520 characters is a
            // failed read rather than a truncated path to the wrong program.
            if (folderLen + sizeof(SONG_SELECTOR_EXE) - 1 > REGS_WORK_BUFFER - 1) {
                rc = ERROR_MORE_DATA;
            } else {
                std::memcpy(work + folderLen, SONG_SELECTOR_EXE, sizeof(SONG_SELECTOR_EXE));
            }
        }
    } else {
        rc = RegQueryValueExA(m_key, name, nullptr, &type, reinterpret_cast<BYTE*>(work), &cb);
    }

    uint32_t limit = static_cast<uint32_t>(size - 1);
    if (rc == ERROR_SUCCESS && type == REG_SZ) {
        size_t len = strnlen(work, REGS_WORK_BUFFER);
        if (len >= static_cast<size_t>(size)) {
            LogRead(name, true, REGS_TEXT_TOO_LONG, type, static_cast<DWORD>(len), limit, 0);
            return REGS_TEXT_TOO_LONG;
        }
        std::memcpy(buf, work, len + 1);
        *outLen = static_cast<uint32_t>(len + 1);
        LogRead(name, true, ERROR_SUCCESS, type, static_cast<DWORD>(len), limit, 0);
        return ERROR_SUCCESS;
    }
    // Over the work buffer the registry tells the size it would have needed.
    LogRead(name, true, rc == ERROR_SUCCESS ? ERROR_INVALID_DATA : rc, type, cb > 0 ? cb - 1 : 0, limit, 0);
    *outLen = 0;
    return REGS_NO_TEXT;
}

void CRegs::LogRead(const char* name, bool text, LONG rc, DWORD type, DWORD size, uint32_t limit,
                    uint32_t number) const
{
    ConfigReadLog* log = ConfigReadLog::Active();
    if (!log) {
        return;
    }
    ValueRead read;
    read.Root = m_root;
    read.Key = m_path;
    read.Name = name ? name : "";
    read.Text = text;
    read.Type = type;
    read.Size = size;
    read.Limit = limit;
    read.Number = number;
    switch (rc) {
    case ERROR_SUCCESS:
        read.Outcome = ReadOutcome::Taken;
        break;
    case ERROR_INVALID_DATA:
        read.Outcome = ReadOutcome::WrongType;
        break;
    case ERROR_MORE_DATA:
    case REGS_TEXT_TOO_LONG:
        read.Outcome = ReadOutcome::TooLong;
        break;
    default:
        read.Outcome = ReadOutcome::Missing;
        break;
    }
    log->Add(read);
}

// In the ANSI code page (932 on the machines this runs on) a cut through a
// double-byte character would leave a lone lead byte that turns the last
// character into garbage, so such a character is dropped whole.
void CopyCutWhole(char* dst, size_t dstSize, const char* text)
{
    if (!dst || dstSize == 0) {
        return;
    }
    if (!text) {
        dst[0] = '\0';
        return;
    }
    size_t len = strnlen(text, dstSize - 1);
    if (text[len] != '\0') {
        size_t whole = 0;
        while (whole < len) {
            size_t step = IsDBCSLeadByte(static_cast<BYTE>(text[whole])) ? 2 : 1;
            if (whole + step > len) {
                break;
            }
            whole += step;
        }
        len = whole;
    }
    std::memcpy(dst, text, len);
    dst[len] = '\0';
}

namespace {

bool ReadTextField(CRegs& regs, const char* name, int bufferSize, bool trim, char (&field)[128])
{
    char text[REGS_WORK_BUFFER] = {};
    if (bufferSize > REGS_WORK_BUFFER) {
        bufferSize = REGS_WORK_BUFFER;
    }
    uint32_t len = 0;
    if (regs.QueryString(text, bufferSize, name, &len) != ERROR_SUCCESS) {
        return false;
    }
    if (trim) {
        TrimBlanks(text);
    }
    CopyCutWhole(field, sizeof(field), text);
    return true;
}

}  // namespace

bool ReadTrimmedText(CRegs& regs, const char* name, int bufferSize, char (&field)[128])
{
    return ReadTextField(regs, name, bufferSize, true, field);
}

bool ReadUntrimmedText(CRegs& regs, const char* name, int bufferSize, char (&field)[128])
{
    return ReadTextField(regs, name, bufferSize, false, field);
}
