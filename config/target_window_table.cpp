#include "config/target_window_table.h"

#include "config/regs.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace {

// Value names of the SENDWINDOW key are "SendWnd%d_hWnd", "SendWnd%d_Msg" and
// "SendWnd%d_Ctrl"; the number starts after the seven characters of the
// prefix, whatever those are.
constexpr size_t SEND_WINDOW_PREFIX_LENGTH = 7;

struct SendWindowMarker {
    const char* text;
    SendWindowField field;
};
constexpr SendWindowMarker SEND_WINDOW_MARKERS[] = {
    {"_hWnd", SendWindowField::Window},
    {"_Msg", SendWindowField::Message},
    {"_Ctrl", SendWindowField::Categories},
};

// RegEnumValueA buffers: names up to 259 characters, data up to 260 bytes.
constexpr DWORD ENUM_NAME_SIZE = 260;
constexpr DWORD ENUM_DATA_SIZE = 260;

// Only the low 32 bits of a window handle are significant, and the client
// library stores just those. Widen them the way LongToHandle does.
HWND HandleFromRegistry(uint32_t value)
{
    return reinterpret_cast<HWND>(static_cast<intptr_t>(static_cast<int32_t>(value)));
}

}  // namespace

uint32_t NormalizeTargetCategories(uint32_t categories)
{
    if (categories & TARGET_FOREGROUND_ONLY) {
        categories &= ~TARGET_CATEGORY_MASK;
    }
    return categories;
}

bool ReadTargetWindowRegistration(const void* data, size_t size, TargetWindowRegistration* out)
{
    if (!data || !out || size < sizeof(TargetWindowRegistration)) {
        return false;
    }
    std::memcpy(out, data, sizeof(TargetWindowRegistration));
    return true;
}

SendWindowValueName ParseSendWindowValueName(const char* name)
{
    SendWindowValueName result{SendWindowField::None, 0};
    if (!name) {
        return result;
    }
    const char* marker = nullptr;
    for (const SendWindowMarker& candidate : SEND_WINDOW_MARKERS) {
        marker = std::strstr(name, candidate.text);
        if (marker) {
            result.Field = candidate.field;
            break;
        }
    }
    if (!marker) {
        return result;
    }
    // Too short to hold a number after the prefix: never look before the
    // name's start or past the marker.
    if (static_cast<size_t>(marker - name) <= SEND_WINDOW_PREFIX_LENGTH) {
        return result;
    }
    int number = 0;
    for (const char* p = name + SEND_WINDOW_PREFIX_LENGTH; p < marker; ++p) {
        if (*p < '0' || *p > '9') {
            return result;
        }
        // Once past the largest number the value is out of range anyway;
        // stop accumulating so that a long run of digits cannot overflow.
        if (number <= SEND_WINDOW_REGISTRATION_MAX) {
            number = number * 10 + (*p - '0');
        }
    }
    if (number >= 1 && number <= SEND_WINDOW_REGISTRATION_MAX) {
        result.Number = number;
    }
    return result;
}

LONG GatherSendWindowRegistrations(HKEY key, SendWindowRegistrations* out)
{
    *out = SendWindowRegistrations{};
    for (DWORD index = 0;; ++index) {
        char name[ENUM_NAME_SIZE] = {};
        DWORD nameLength = ENUM_NAME_SIZE;
        BYTE data[ENUM_DATA_SIZE] = {};
        DWORD dataSize = ENUM_DATA_SIZE;
        DWORD type = REG_NONE;
        LONG rc = RegEnumValueA(key, index, name, &nameLength, nullptr, &type, data, &dataSize);
        if (rc == ERROR_NO_MORE_ITEMS) {
            return ERROR_SUCCESS;
        }
        if (rc == ERROR_MORE_DATA) {
            // A name or data too big for the buffers cannot be one of our
            // 4-byte numbers. Skip it rather than let one foreign value
            // disable every registration.
            continue;
        }
        if (rc != ERROR_SUCCESS) {
            *out = SendWindowRegistrations{};
            return rc;
        }
        // A REG_DWORD stored with another length is no number either.
        if (type != REG_DWORD || dataSize != sizeof(uint32_t)) {
            continue;
        }
        SendWindowValueName parsed = ParseSendWindowValueName(name);
        if (parsed.Field == SendWindowField::None) {
            continue;
        }
        if (parsed.Number == 0) {
            return ERROR_SUCCESS;  // out of range: the scan ends, what was gathered stands
        }
        uint32_t value = 0;
        std::memcpy(&value, data, sizeof(value));
        SendWindowRegistration& slot = out->Slot[parsed.Number - 1];
        switch (parsed.Field) {
        case SendWindowField::Window:
            slot.Window = value;
            break;
        case SendWindowField::Message:
            slot.Message = value;
            break;
        case SendWindowField::Categories:
            slot.Categories = value;
            break;
        case SendWindowField::None:
            break;
        }
    }
}

void TargetWindowTable::Clear()
{
    std::fill(std::begin(m_entries), std::end(m_entries), TargetWindowEntry{});
    m_staticCount = 0;
    m_highest = 0;
}

void TargetWindowTable::AddConfigured(const TargetWindowEntry& entry)
{
    if (m_staticCount >= TARGET_WINDOW_STATIC_MAX) {
        return;
    }
    m_entries[m_staticCount] = entry;
    ++m_staticCount;
    m_highest = std::max(m_highest, m_staticCount);
}

// Positions behind the configured windows never hold a class or title, so a
// registration's entry is written whole.
void TargetWindowTable::Fill(int index, HWND window, uint32_t message, uint32_t categories)
{
    TargetWindowEntry& entry = m_entries[index];
    entry = TargetWindowEntry{};
    entry.Message = TARGET_MESSAGE_BASE + message;
    entry.Window = window;
    entry.Categories = NormalizeTargetCategories(categories);
    entry.Flags = TARGET_IN_USE | TARGET_HAS_WINDOW | (entry.Categories ? TARGET_HAS_CATEGORIES : 0);
    m_highest = std::max(m_highest, index + 1);
}

int TargetWindowTable::RegistrationIndex(int number) const
{
    int index = m_staticCount + number - 1;
    return index < TARGET_WINDOW_MAX ? index : -1;
}

int TargetWindowTable::Register(HWND window, uint32_t number, uint32_t message, uint32_t categories)
{
    if (number == 0 || number > TARGET_WINDOW_STATIC_MAX) {
        return -1;
    }
    int index = RegistrationIndex(static_cast<int>(number));
    if (!window) {
        m_entries[index] = TargetWindowEntry{};
        return 0;
    }
    Fill(index, window, message, categories);
    return 0;
}

void TargetWindowTable::Apply(const SendWindowRegistrations& registrations)
{
    for (int n = 1; n <= SEND_WINDOW_REGISTRATION_MAX; ++n) {
        const SendWindowRegistration& slot = registrations.Slot[n - 1];
        int index = RegistrationIndex(n);
        if (slot.Window == 0 || index < 0) {
            continue;
        }
        Fill(index, HandleFromRegistry(slot.Window), slot.Message, slot.Categories);
    }
}

bool TargetWindowTable::CacheWindow(int index, HWND window)
{
    if (index < 0 || index >= m_highest) {
        return false;
    }
    TargetWindowEntry& entry = m_entries[index];
    const uint32_t classEntry = TARGET_IN_USE | TARGET_HAS_CLASS;
    if ((entry.Flags & classEntry) != classEntry || (entry.Flags & TARGET_HAS_WINDOW)) {
        return false;
    }
    entry.Window = window;
    return true;
}

void LoadTargetWindows(TargetWindowTable& table)
{
    table.Clear();
    CRegs regs;
    if (regs.Open(HKEY_LOCAL_MACHINE, TARGET_WINDOWS_KEY, KEY_READ) != ERROR_SUCCESS) {
        return;
    }
    for (int n = 1; n <= TARGET_WINDOW_STATIC_MAX; ++n) {
        TargetWindowEntry entry{};
        char name[32];
        std::snprintf(name, sizeof(name), "Wnd%d_Class", n);
        if (!ReadTrimmedText(regs, name, REGS_WORK_BUFFER, entry.Class) || entry.Class[0] == '\0') {
            break;
        }
        entry.Flags = TARGET_IN_USE | TARGET_HAS_CLASS;

        std::snprintf(name, sizeof(name), "Wnd%d_Title", n);
        if (ReadTrimmedText(regs, name, REGS_WORK_BUFFER, entry.Title) && entry.Title[0] != '\0') {
            entry.Flags |= TARGET_HAS_TITLE;
        }

        std::snprintf(name, sizeof(name), "Wnd%d_Control", n);
        uint32_t control = 0;
        if (regs.QueryDword(name, &control) == ERROR_SUCCESS) {
            entry.Categories = NormalizeTargetCategories(control);
            if (entry.Categories) {
                entry.Flags |= TARGET_HAS_CATEGORIES;
            }
        }

        std::snprintf(name, sizeof(name), "Wnd%d_Msg", n);
        uint32_t message = 0;
        entry.Message = regs.QueryDword(name, &message) == ERROR_SUCCESS ? TARGET_MESSAGE_BASE + message
                                                                           : TARGET_DEFAULT_MESSAGE;
        table.AddConfigured(entry);
    }
    regs.Close();
}
