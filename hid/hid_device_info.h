#pragma once
// The record of one open HID collection, shared by the device manager, the
// receiver test of the configuration store and the key controllers.

#include <windows.h>
#include "hid/hid_api.h"

#include <cstdint>

// DeviceFlags of an identity entry and of an open collection.
constexpr uint32_t DEVICE_FLAG_KEYBOARD = 0x1;  // keyboard with one-touch buttons; 0 = remote receiver

// One button range or value usage of a report kind.
struct HidDataItem {
    uint8_t IsButton;
    uint16_t UsagePage;
    uint32_t Status;  // HIDP_STATUS_SUCCESS
    uint32_t ReportID;
    // Button range:
    uint32_t UsageMin;
    uint32_t UsageMax;
    uint32_t MaxUsageListLength;
    uint16_t* UsageList;
    // Value:
    uint16_t Usage;
};

// Input, output or feature: buffer of the report's byte length, the data
// items and the capability arrays.
struct HidReportSet {
    uint8_t* Buffer;
    uint32_t Length;
    HidDataItem* Items;
    uint32_t ItemCount;
    HIDP_BUTTON_CAPS* ButtonCaps;
    uint32_t ButtonCapCount;
    HIDP_VALUE_CAPS* ValueCaps;
    uint32_t ValueCapCount;
};

struct HidDeviceInfo {
    char* DevicePath;
    HANDLE Handle;
    BOOL OpenedForRead;
    BOOL OpenedForWrite;
    BOOL OpenedOverlapped;
    BOOL OpenedExclusive;
    PHIDP_PREPARSED_DATA PreparsedData;
    HIDP_CAPS Caps;
    HIDD_ATTRIBUTES Attributes;
    HidReportSet Input;
    HidReportSet Output;
    HidReportSet Feature;
};

class HidBackend;

// Buffers, capability lists and data items of the three report kinds, from
// the collection's capabilities and preparsed data; false when one cannot be
// made (what was made stays for FreeReportSets).
bool FillReportSets(HidBackend& backend, HidDeviceInfo& info);
void FreeReportSets(HidDeviceInfo& info);
