#include "config/device_identities.h"

#include "config/regs.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Equal without regard to ASCII case; a missing text is the empty text.
bool SameWord(const char* a, const char* b)
{
    a = a ? a : "";
    b = b ? b : "";
    while (*a && *b) {
        if (LowerAscii(*a) != LowerAscii(*b)) {
            return false;
        }
        ++a;
        ++b;
    }
    return *a == *b;
}

// Whether word occurs in text, both compared in lower case. Both are shorter
// than the compare limit here, so the copies fit.
bool ContainsNoCase(const char* text, const char* word)
{
    char lowText[DEVICE_PATH_COMPARE_LIMIT];
    char lowWord[DEVICE_PATH_COMPARE_LIMIT];
    size_t i = 0;
    for (; text[i]; ++i) {
        lowText[i] = LowerAscii(text[i]);
    }
    lowText[i] = '\0';
    for (i = 0; word[i]; ++i) {
        lowWord[i] = LowerAscii(word[i]);
    }
    lowWord[i] = '\0';
    return std::strstr(lowText, lowWord) != nullptr;
}

char* CopyText(const char* text)
{
    size_t len = std::strlen(text);
    char* copy = static_cast<char*>(std::malloc(len + 1));
    if (copy) {
        std::memcpy(copy, text, len + 1);
    }
    return copy;
}

}  // namespace

bool IsReceiverUsage(uint16_t usagePage, uint16_t usage)
{
    bool pageOk = usagePage == 0x000C || usagePage == 0xFFBC || usagePage == 0xFF01 || usagePage == 0xFF02;
    bool usageOk = usage == 0x0001 || usage == 0x0088 || usage == 0x0090;
    return pageOk && usageOk;
}

bool AddDeviceIdentity(DeviceIdentityTable& table, uint32_t productId, uint32_t vendorId, uint32_t flags,
                       const char* pathWord)
{
    for (int i = 0; i < table.Count; ++i) {
        DeviceIdentity& e = table.Entries[i];
        if (e.ProductID == productId && e.VendorID == vendorId && SameWord(e.PathWord, pathWord)) {
            e.DeviceFlags |= flags;
            return true;
        }
    }
    if (table.Count >= DEVICE_IDENTITY_MAX) {
        return false;
    }
    char* copy = nullptr;
    if (pathWord) {
        copy = CopyText(pathWord);
        if (!copy) {
            return false;
        }
    }
    table.Entries[table.Count++] = DeviceIdentity{productId, vendorId, flags, copy};
    return true;
}

bool MatchDeviceIdentity(const DeviceIdentityTable& table, uint16_t usagePage, uint16_t usage, uint32_t vendorId,
                         uint32_t productId, const char* devicePath, uint32_t* deviceFlags)
{
    if (!IsReceiverUsage(usagePage, usage)) {
        return false;
    }
    size_t pathLen = devicePath ? strnlen(devicePath, DEVICE_PATH_COMPARE_LIMIT) : 0;
    for (int i = 0; i < table.Count; ++i) {
        const DeviceIdentity& e = table.Entries[i];
        if (e.ProductID != productId || e.VendorID != vendorId) {
            continue;
        }
        bool match = true;
        if (e.PathWord) {
            size_t wordLen = strnlen(e.PathWord, DEVICE_PATH_COMPARE_LIMIT);
            // An empty or over-long path or word is not compared at all.
            bool comparable = pathLen > 0 && pathLen < DEVICE_PATH_COMPARE_LIMIT && wordLen > 0 &&
                              wordLen < DEVICE_PATH_COMPARE_LIMIT;
            match = !comparable || ContainsNoCase(devicePath, e.PathWord);
        }
        if (match) {
            if (deviceFlags) {
                *deviceFlags = e.DeviceFlags;
            }
            return true;
        }
    }
    return false;
}

void ReleaseDeviceIdentities(DeviceIdentityTable& table)
{
    for (int i = 0; i < table.Count; ++i) {
        std::free(table.Entries[i].PathWord);
        table.Entries[i].PathWord = nullptr;
    }
    table.Count = 0;
}

void LoadDeviceIdentities(DeviceIdentityTable& table)
{
    CRegs regs;
    if (regs.Open(HKEY_LOCAL_MACHINE, DEVICE_IDENTITY_KEY, KEY_READ) != ERROR_SUCCESS) {
        return;
    }
    for (int n = 1; n <= DEVICE_IDENTITY_MAX; ++n) {
        char name[32];
        uint32_t productId = 0;
        uint32_t vendorId = 0;
        std::snprintf(name, sizeof(name), "ProductID%d", n);
        if (regs.QueryDword(name, &productId) != ERROR_SUCCESS) {
            break;
        }
        std::snprintf(name, sizeof(name), "VendorID%d", n);
        if (regs.QueryDword(name, &vendorId) != ERROR_SUCCESS) {
            break;
        }
        // The word is compared as stored: no trimming.
        char word[DEVICE_PATH_WORD_BUFFER] = {};
        uint32_t len = 0;
        std::snprintf(name, sizeof(name), "ChkPathWord%d", n);
        bool haveWord = regs.QueryString(word, sizeof(word), name, &len) == ERROR_SUCCESS;
        AddDeviceIdentity(table, productId, vendorId, 0, haveWord ? word : nullptr);
    }
    regs.Close();
}
