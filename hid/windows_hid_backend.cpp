#include "hid/windows_hid_backend.h"

#include <dbt.h>
#include <setupapi.h>

#include <cstdlib>
#include <cstring>

void WindowsHidBackend::GetHidGuid(GUID* guid) { HidD_GetHidGuid(guid); }

HidInterfaceSet WindowsHidBackend::OpenInterfaceSet()
{
    GUID guid;
    HidD_GetHidGuid(&guid);
    HDEVINFO set = SetupDiGetClassDevsA(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    return set == INVALID_HANDLE_VALUE ? nullptr : set;
}

BOOL WindowsHidBackend::GetInterfacePath(HidInterfaceSet set, DWORD index, char* path, DWORD pathSize,
                                         DWORD* requiredSize)
{
    GUID guid;
    HidD_GetHidGuid(&guid);
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof(data);
    if (!SetupDiEnumDeviceInterfaces(set, nullptr, &guid, index, &data)) {
        return FALSE;  // ERROR_NO_MORE_ITEMS after the last
    }
    DWORD detailSize = 0;
    if (!SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &detailSize, nullptr) &&
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return FALSE;
    }
    auto* detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(std::calloc(1, detailSize + 1));
    if (!detail) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    // The fixed part of the record, as SetupAPI insists (8 on x64).
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!SetupDiGetDeviceInterfaceDetailA(set, &data, detail, detailSize, nullptr, nullptr)) {
        DWORD err = GetLastError();
        std::free(detail);
        SetLastError(err);
        return FALSE;
    }
    DWORD needed = static_cast<DWORD>(std::strlen(detail->DevicePath) + 1);
    if (requiredSize) {
        *requiredSize = needed;
    }
    if (!path || pathSize < needed) {
        std::free(detail);
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(path, detail->DevicePath, needed);
    std::free(detail);
    return TRUE;
}

void WindowsHidBackend::CloseInterfaceSet(HidInterfaceSet set)
{
    if (set) {
        SetupDiDestroyDeviceInfoList(static_cast<HDEVINFO>(set));
    }
}

HANDLE WindowsHidBackend::OpenDevice(const char* path)
{
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED, nullptr);
}

void WindowsHidBackend::CloseDevice(HANDLE handle)
{
    if (handle != INVALID_HANDLE_VALUE && handle) {
        CloseHandle(handle);
    }
}

BOOL WindowsHidBackend::GetPreparsedData(HANDLE handle, PHIDP_PREPARSED_DATA* data)
{
    return HidD_GetPreparsedData(handle, data) ? TRUE : FALSE;
}

void WindowsHidBackend::FreePreparsedData(PHIDP_PREPARSED_DATA data)
{
    if (data) {
        HidD_FreePreparsedData(data);
    }
}

BOOL WindowsHidBackend::GetAttributes(HANDLE handle, HIDD_ATTRIBUTES* attributes)
{
    attributes->Size = sizeof(*attributes);
    return HidD_GetAttributes(handle, attributes) ? TRUE : FALSE;
}

NTSTATUS WindowsHidBackend::GetCaps(PHIDP_PREPARSED_DATA data, HIDP_CAPS* caps) { return HidP_GetCaps(data, caps); }

NTSTATUS WindowsHidBackend::GetButtonCaps(HIDP_REPORT_TYPE type, HIDP_BUTTON_CAPS* caps, USHORT* count,
                                          PHIDP_PREPARSED_DATA data)
{
    return HidP_GetButtonCaps(type, caps, count, data);
}

NTSTATUS WindowsHidBackend::GetValueCaps(HIDP_REPORT_TYPE type, HIDP_VALUE_CAPS* caps, USHORT* count,
                                         PHIDP_PREPARSED_DATA data)
{
    return HidP_GetValueCaps(type, caps, count, data);
}

ULONG WindowsHidBackend::MaxUsageListLength(HIDP_REPORT_TYPE type, USAGE usagePage, PHIDP_PREPARSED_DATA data)
{
    return HidP_MaxUsageListLength(type, usagePage, data);
}

BOOL WindowsHidBackend::GetFeature(HANDLE handle, void* buffer, ULONG length)
{
    return HidD_GetFeature(handle, buffer, length) ? TRUE : FALSE;
}

BOOL WindowsHidBackend::SetFeature(HANDLE handle, void* buffer, ULONG length)
{
    return HidD_SetFeature(handle, buffer, length) ? TRUE : FALSE;
}

BOOL WindowsHidBackend::SetOutputReport(HANDLE handle, void* buffer, ULONG length)
{
    return HidD_SetOutputReport(handle, buffer, length) ? TRUE : FALSE;
}

HDEVNOTIFY WindowsHidBackend::RegisterInterfaceNotice(HWND window)
{
    DEV_BROADCAST_DEVICEINTERFACE_A filter{};
    filter.dbcc_size = sizeof(filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    HidD_GetHidGuid(&filter.dbcc_classguid);
    return RegisterDeviceNotificationA(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

HDEVNOTIFY WindowsHidBackend::RegisterHandleNotice(HWND window, HANDLE handle)
{
    DEV_BROADCAST_HANDLE filter{};
    filter.dbch_size = sizeof(filter);
    filter.dbch_devicetype = DBT_DEVTYP_HANDLE;
    filter.dbch_handle = handle;
    return RegisterDeviceNotificationA(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

BOOL WindowsHidBackend::UnregisterNotice(HDEVNOTIFY notice)
{
    return notice && UnregisterDeviceNotification(notice) ? TRUE : FALSE;
}
