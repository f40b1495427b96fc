#pragma once
// Which HID collections are the receiver: up to ten identities (product id,
// vendor id, an optional word the device path must contain, and the flags
// handed on with the collection's reports). Plain data and logic, no
// Windows headers.

#include <cstddef>
#include <cstdint>

constexpr int DEVICE_IDENTITY_MAX = 10;
// Registry texts are read into a buffer of this size (520 characters).
constexpr int DEVICE_PATH_WORD_BUFFER = 521;
// A device path or path word of this length or longer is not compared.
constexpr size_t DEVICE_PATH_COMPARE_LIMIT = 260;

constexpr char DEVICE_IDENTITY_KEY[] = "Software\\Orlan\\Kova";

struct DeviceIdentity {
    uint32_t ProductID;
    uint32_t VendorID;
    uint32_t DeviceFlags;
    char* PathWord;  // owned copy in its stored case; null when the value was missing
};

struct DeviceIdentityTable {
    DeviceIdentity Entries[DEVICE_IDENTITY_MAX];
    int Count;
};

// Reads ProductID<n>, VendorID<n> and ChkPathWord<n> (n = 1..10, up to the
// first gap) from HKLM into an empty table.
void LoadDeviceIdentities(DeviceIdentityTable& table);

// Merges into an entry with the same ids and the same path word (compared
// without case, a missing word counting as empty) by OR-ing the flags, or
// appends a new entry. False when the table is full or memory ran out.
bool AddDeviceIdentity(DeviceIdentityTable& table, uint32_t productId, uint32_t vendorId, uint32_t flags,
                       const char* pathWord);

// The receiver test of one collection; on a match the entry's flags go to
// *deviceFlags (when given).
bool MatchDeviceIdentity(const DeviceIdentityTable& table, uint16_t usagePage, uint16_t usage, uint32_t vendorId,
                         uint32_t productId, const char* devicePath, uint32_t* deviceFlags);

// The usage page and usage test alone (the first two conditions).
bool IsReceiverUsage(uint16_t usagePage, uint16_t usage);

// Frees the path words and empties the table.
void ReleaseDeviceIdentities(DeviceIdentityTable& table);
