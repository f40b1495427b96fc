#pragma once
// CMainCtrl: created with the hidden main window; owns every other long-lived
// controller and keeps the receiver open at the right times: console
// connected or not, session locked or not, suspend and resume, display off
// and on, devices arriving and leaving. Every change of the device manager,
// and every call into it, happens under the restart mutex, which other
// programs of the session open too.
//
// Everything here runs on the main thread (window procedure and timer
// procedures); the class-wide state is shared with the other controllers.

#include <windows.h>

#include "base/scoped.h"
#include "config/config.h"

#include <cstdint>

class CHidControl;
class CHidDevice;
class CKeyCtrl;
class COsdControl;
class CTrayControl;

constexpr char RESTART_MUTEX_NAME[] = "Local\\ORLAN_KOVA_Mutex_Restart";

// The wake check runs this long after each of its triggers.
constexpr UINT WAKE_CHECK_DELAY_MS = 3000;

class CMainCtrl : public CConfig {
public:
    CMainCtrl();
    ~CMainCtrl() override;

    CMainCtrl(const CMainCtrl&) = delete;
    CMainCtrl& operator=(const CMainCtrl&) = delete;

    // WM_CREATE: builds the controller tree, opens the receivers, starts
    // the wake check.
    void OnCreate(HWND window, HINSTANCE instance);
    // WM_DESTROY, before the controller is deleted: closes the help and
    // setting-utility windows of both trays.
    void OnDestroy();

    // System notices.
    void OnPowerBroadcast(HWND window, WPARAM event, LPARAM data);
    void OnDeviceChange(HWND window, WPARAM event, LPARAM header);
    void OnSessionChange(HWND window, WPARAM code);

    // WM_HID_READ_NEXT and WM_HID_REPORT, lParam the device that posted it.
    // Any program can post these messages: lParam is used only when it names
    // one of the open devices (the list only changes on this thread).
    // Issues the device's next read.
    void OnHidReadNext(LPARAM lParam);
    // The report gate: hands the device's report to the key controller,
    // with what the gate found about the session, or drops it.
    void OnHidReport(LPARAM lParam);

    // WM_HID_REOPEN and WM_HID_REOPEN_WAKE: a fresh enumeration under the
    // restart mutex (and then the wake check).
    static void ReopenDevices();
    static void ReopenDevicesAndCheckWake();

    // Blanks the radio remote's display through the client library; FALSE
    // when the library or its export is missing or the call fails.
    BOOL ClearRemoteLcd();

    // These work on the class-wide state only, so the timer procedure can
    // reach them too.
    // The icons are shown only while a receiver or keyboard is open.
    static void UpdateTrayIcons();
    // Device manager lifetime; callers hold the restart mutex.
    static void CreateDeviceManager();
    static void RecreateDeviceManager();

    // The wake-button check: 3 s after a trigger, ask the receiver which
    // button woke the computer and carry that button out.
    static void StartWakeCheck();
    static void RetryWakeCheck();
    static void CALLBACK WakeCheckTimerProc(HWND window, UINT message, UINT_PTR id, DWORD time);

    // Class-wide state, one copy per process.
    static HWND MainWindow;
    static LONG ConsoleConnected;
    static LONG SessionLocked;
    static LONG DeviceActive;
    static CHidControl* DeviceManager;
    static CTrayControl* RemoteTray;
    static CTrayControl* KeyboardTray;
    static COsdControl* Osd;
    static CKeyCtrl* KeyController;
    static uint32_t WakeRetryCount;
    static HANDLE RestartMutex;
    static UINT_PTR WakeCheckTimer;
    static UINT_PTR WakeRetryTimer;

    // Process-wide flags held beside the configuration.
    static HINSTANCE AppInstance;
    static LONG DisplayOff;
    static LONG WakeReplySent;
    static LONG DisplayOffSeen;

private:
    CHidDevice* FindListedDevice(LPARAM lParam) const;
    // Steps of OnCreate; each false when a controller could not be made.
    bool CreateTrayAndDisplayControllers();
    bool CreateKeyController();

    static void DeleteDeviceManager();
    static void StopWakeTimers();
    void OnDisplayState(HWND window, LPARAM data);
    void OnDeviceArrival(LPARAM header);
    void OnHandleNotice(WPARAM event, LPARAM header);

    ScopedModule KovaApiModule;
    bool m_sessionNotifyRegistered = false;
};
