#pragma once
// CHidControl: the device manager. Finds the receiver's HID collections,
// keeps them in a list while devices arrive and leave, and answers the
// receiver's feature-report questions. Everything here runs on the thread
// that owns the main window.

#include <windows.h>

#include "config/config.h"
#include "hid/hid_device.h"

#include <cstdint>
#include <vector>

// Statuses of ReadWakeButton and ReadWakeEvent.
constexpr uint32_t WAKE_STATUS_OK = 0;
constexpr uint32_t WAKE_STATUS_NO_ANSWER = 1;
constexpr uint32_t WAKE_STATUS_NO_COLLECTION = 2;
constexpr uint32_t WAKE_STATUS_NO_FEATURE_REPORT = 4;
constexpr uint32_t WAKE_STATUS_MISSING_ARGUMENT = 87;
constexpr uint32_t WAKE_STATUS_NO_MEMORY = 8415;

class CHidControl : public CConfig {
public:
    // Enumerates at once; devices are owned by mainWindow's thread.
    explicit CHidControl(HWND mainWindow);
    ~CHidControl() override;

    BOOL EnumerateDevices();
    // DBT_DEVICEARRIVAL of an interface: the notice's name, lower-cased in place.
    BOOL AddDevice(char* devicePath);
    // DBT_DEVICEQUERYREMOVE of a handle: stops and closes, keeps it listed.
    void CloseDevice(HANDLE handle);
    // DBT_DEVICEREMOVEPENDING / DBT_DEVICEREMOVECOMPLETE of a handle.
    void RemoveDevice(HANDLE handle);
    int GetDeviceCount() const { return DeviceCount; }
    CHidDevice* FindDeviceByPath(const char* path) const;
    CHidDevice* FindDeviceByHandle(HANDLE handle) const;
    // The device a WM_HID_READ_NEXT or WM_HID_REPORT names in its lParam, only
    // when it is one of the listed devices; anything else (a message another
    // program posted) gives null.
    CHidDevice* FindListedDevice(LPARAM lParam) const;

    // An operation of the manager that stops readers is under way further up
    // this thread's stack: a notice handled inside it must not destroy the
    // manager (the caller then reopens afterwards instead).
    bool IsBusy() const { return m_busy > 0; }

    uint32_t ReadWakeButton(uint8_t* code);
    uint32_t ReadWakeEvent(uint8_t* kind, uint16_t* code, uint8_t* flag);

    CHidDevice* FirstDevice;
    int DeviceCount;
    HDEVNOTIFY InterfaceNotification;

private:
    // Create, open, test, register and start; null after a failed step.
    CHidDevice* OpenAcceptedDevice(const char* path);
    void Unlink(CHidDevice* device);

    // A device being closed, and whether a notice handled meanwhile removed
    // it from the list: then the close destroys it once it is done.
    struct Closing {
        CHidDevice* Device;
        bool Removed;
    };
    Closing* FindClosing(CHidDevice* device);

    HWND m_mainWindow;
    // Stopping a reader handles the notices other threads send meanwhile,
    // which may close or remove further devices: one entry per close under
    // way, innermost last.
    std::vector<Closing> m_closing;
    int m_busy = 0;
};
