#pragma once
// The device backend: every SetupAPI and HID call the program and the client
// library make goes through this interface. Two implementations exist: the
// Windows HID stack, and a client of the virtual receiver, which is used when
// the environment variable KOVA_VIRTUAL_RECEIVER names a running receiver.
//
// Input reports are not part of the interface: callers read them with
// overlapped ReadFile on the handle OpenDevice gave them and stop them with
// CancelIo, exactly as with a real device.

#include <windows.h>
#include "hid/hid_api.h"

// Names the virtual receiver instance to use instead of the HID stack.
constexpr char VIRTUAL_RECEIVER_ENV[] = "KOVA_VIRTUAL_RECEIVER";

// An enumeration of the present HID interfaces (SetupAPI's device info set).
using HidInterfaceSet = void*;

class HidBackend {
public:
    virtual ~HidBackend() = default;

    virtual void GetHidGuid(GUID* guid) = 0;

    // All present interfaces of the HID class; null on failure.
    virtual HidInterfaceSet OpenInterfaceSet() = 0;
    // The device path of interface `index`. FALSE with ERROR_NO_MORE_ITEMS
    // after the last one; FALSE with ERROR_INSUFFICIENT_BUFFER and the size
    // needed (terminator included) in *requiredSize when the buffer is too
    // small (pass 0 to ask); any other error is a failed enumeration.
    virtual BOOL GetInterfacePath(HidInterfaceSet set, DWORD index, char* path, DWORD pathSize,
                                  DWORD* requiredSize) = 0;
    virtual void CloseInterfaceSet(HidInterfaceSet set) = 0;

    // Opens a collection for overlapped reading, sharing read and write;
    // INVALID_HANDLE_VALUE and the error on failure.
    virtual HANDLE OpenDevice(const char* path) = 0;
    virtual void CloseDevice(HANDLE handle) = 0;

    virtual BOOL GetPreparsedData(HANDLE handle, PHIDP_PREPARSED_DATA* data) = 0;
    virtual void FreePreparsedData(PHIDP_PREPARSED_DATA data) = 0;
    virtual BOOL GetAttributes(HANDLE handle, HIDD_ATTRIBUTES* attributes) = 0;
    virtual NTSTATUS GetCaps(PHIDP_PREPARSED_DATA data, HIDP_CAPS* caps) = 0;
    virtual NTSTATUS GetButtonCaps(HIDP_REPORT_TYPE type, HIDP_BUTTON_CAPS* caps, USHORT* count,
                                   PHIDP_PREPARSED_DATA data) = 0;
    virtual NTSTATUS GetValueCaps(HIDP_REPORT_TYPE type, HIDP_VALUE_CAPS* caps, USHORT* count,
                                  PHIDP_PREPARSED_DATA data) = 0;
    virtual ULONG MaxUsageListLength(HIDP_REPORT_TYPE type, USAGE usagePage, PHIDP_PREPARSED_DATA data) = 0;

    virtual BOOL GetFeature(HANDLE handle, void* buffer, ULONG length) = 0;
    virtual BOOL SetFeature(HANDLE handle, void* buffer, ULONG length) = 0;
    virtual BOOL SetOutputReport(HANDLE handle, void* buffer, ULONG length) = 0;

    // WM_DEVICECHANGE notices to a window: arrival and removal of HID
    // interfaces, and query-remove and removal of one open handle. The
    // notices are sent (not posted) on the thread that owns the window.
    virtual HDEVNOTIFY RegisterInterfaceNotice(HWND window) = 0;
    virtual HDEVNOTIFY RegisterHandleNotice(HWND window, HANDLE handle) = 0;
    virtual BOOL UnregisterNotice(HDEVNOTIFY notice) = 0;

    // The error a HID device gives for a read on this backend's handle that
    // ended with readError (ERROR_SUCCESS when it completed) after
    // bytesRead bytes: a virtual collection's pipe breaks on unplug where a
    // device reports ERROR_DEVICE_NOT_CONNECTED, and an empty message stands
    // for a read the receiver makes fail.
    virtual DWORD DeviceError(HANDLE handle, DWORD readError, DWORD bytesRead) = 0;
    // After a read that ended with ERROR_MORE_DATA: throws away the rest of
    // that report, so that it is never taken for the next one.
    virtual void DiscardRestOfReport(HANDLE handle) = 0;
};

// Calls visit with the device path of each present HID interface, in the
// backend's order. NoSet when the interface set could not be made, Failed
// when the enumeration broke off midway (the paths visited before stay
// visited).
enum class InterfaceWalk { Complete, NoSet, Failed };
InterfaceWalk ForEachInterfacePath(HidBackend& backend, void (*visit)(const char* path, void* context),
                                   void* context);

// The backend of this process, chosen on first use by KOVA_VIRTUAL_RECEIVER.
HidBackend& GetHidBackend();

// Destroys the backend (its notice thread too); the next use chooses again.
// For tests, and for the client library before it is unloaded: never call
// it from a DLL's attach or detach notice, nor while a handle it opened is
// still in use.
void ShutdownHidBackend();
