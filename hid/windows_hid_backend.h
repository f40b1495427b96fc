#pragma once
// The device backend on the real Windows HID stack (SetupAPI and hid.dll).

#include "hid/hid_backend.h"

class WindowsHidBackend : public HidBackend {
public:
    void GetHidGuid(GUID* guid) override;
    HidInterfaceSet OpenInterfaceSet() override;
    BOOL GetInterfacePath(HidInterfaceSet set, DWORD index, char* path, DWORD pathSize, DWORD* requiredSize) override;
    void CloseInterfaceSet(HidInterfaceSet set) override;
    HANDLE OpenDevice(const char* path) override;
    void CloseDevice(HANDLE handle) override;
    BOOL GetPreparsedData(HANDLE handle, PHIDP_PREPARSED_DATA* data) override;
    void FreePreparsedData(PHIDP_PREPARSED_DATA data) override;
    BOOL GetAttributes(HANDLE handle, HIDD_ATTRIBUTES* attributes) override;
    NTSTATUS GetCaps(PHIDP_PREPARSED_DATA data, HIDP_CAPS* caps) override;
    NTSTATUS GetButtonCaps(HIDP_REPORT_TYPE type, HIDP_BUTTON_CAPS* caps, USHORT* count,
                           PHIDP_PREPARSED_DATA data) override;
    NTSTATUS GetValueCaps(HIDP_REPORT_TYPE type, HIDP_VALUE_CAPS* caps, USHORT* count,
                          PHIDP_PREPARSED_DATA data) override;
    ULONG MaxUsageListLength(HIDP_REPORT_TYPE type, USAGE usagePage, PHIDP_PREPARSED_DATA data) override;
    BOOL GetFeature(HANDLE handle, void* buffer, ULONG length) override;
    BOOL SetFeature(HANDLE handle, void* buffer, ULONG length) override;
    BOOL SetOutputReport(HANDLE handle, void* buffer, ULONG length) override;
    HDEVNOTIFY RegisterInterfaceNotice(HWND window) override;
    HDEVNOTIFY RegisterHandleNotice(HWND window, HANDLE handle) override;
    BOOL UnregisterNotice(HDEVNOTIFY notice) override;
    DWORD DeviceError(HANDLE, DWORD readError, DWORD) override { return readError; }
    void DiscardRestOfReport(HANDLE) override {}
};
