#include "core/main_window.h"

#include "config/config.h"
#include "core/main_ctrl.h"
#include "core/messages.h"
#include "core/watchers.h"
#include "hid/hid_device.h"
#include "keys/key_ctrl.h"
#include "tray/tray_control.h"

#include <new>

BOOL InitLcdAtCreate = FALSE;
HPOWERNOTIFY DisplayNotify = nullptr;

namespace {

// The status the key controller's numeric entry ends with on its time-out.
constexpr uint32_t ENTRY_TIMEOUT = 0xFFFF0006u;

// Tray icon ids (the wParam of WM_TRAY_NOTIFY).
constexpr WPARAM REMOTE_TRAY_ICON = 1;
constexpr WPARAM KEYBOARD_TRAY_ICON = 2;

CMainCtrl* MainController = nullptr;

LRESULT OnNcCreate()
{
    MainController = new (std::nothrow) CMainCtrl();
    return MainController ? TRUE : FALSE;
}

LRESULT OnCreate(HWND window, const CREATESTRUCTA* create)
{
    if (!MainController) {
        return 0;
    }
    MainController->OnCreate(window, create ? create->hInstance : nullptr);
    if (InitLcdAtCreate) {
        MainController->ClearRemoteLcd();
    }
    return 0;
}

// The order matters: the controllers go first (they free the client library
// and close the receiver), then the worker threads, then the message loop.
LRESULT OnDestroy()
{
    if (MainController) {
        MainController->OnDestroy();
        delete MainController;
        MainController = nullptr;
    }
    StopWatchers();
    if (DisplayNotify) {
        UnregisterPowerSettingNotification(DisplayNotify);
        DisplayNotify = nullptr;
    }
    PostQuitMessage(0);
    return 0;
}

// Also when the end of the session was cancelled: the display is blank
// either way, which is harmless.
LRESULT OnEndSession()
{
    if (MainController) {
        MainController->ClearRemoteLcd();
    }
    return 0;
}

// The record belongs to another program of the session, which chose its
// size: a record shorter than it claims to be is refused, not read past.
// The sender is always answered TRUE, also when nothing was done.
LRESULT OnCopyData(WPARAM kind, const COPYDATASTRUCT* copy)
{
    if (!MainController || !copy || !copy->lpData) {
        return TRUE;
    }
    if (kind == COPYDATA_REGISTER_WINDOW) {
        TargetWindowRegistration registration{};
        if (ReadTargetWindowRegistration(copy->lpData, copy->cbData, &registration)) {
            CConfig::RegisterTargetWindow(registration);
        }
    }
    return TRUE;
}

LRESULT OnTimer(HWND window, UINT_PTR id)
{
    if (!MainController) {
        return 0;
    }
    if (id == IDT_EXIT) {
        KillTimer(window, id);
        DestroyWindow(window);
    } else if (id == IDT_NUMERIC_ENTRY) {
        KillTimer(window, id);
        if (CMainCtrl::KeyController) {
            CMainCtrl::KeyController->FinishNumericEntry(ENTRY_TIMEOUT);
        }
    }
    // Any other id belongs to someone else: it keeps running untouched.
    return 0;
}

LRESULT OnPowerBroadcast(HWND window, WPARAM event, LPARAM data)
{
    if (MainController) {
        MainController->OnPowerBroadcast(window, event, data);
    }
    return TRUE;
}

LRESULT OnDeviceChange(HWND window, WPARAM event, LPARAM header)
{
    if (MainController) {
        MainController->OnDeviceChange(window, event, header);
    }
    return TRUE;
}

LRESULT OnSessionChange(HWND window, WPARAM code)
{
    if (MainController) {
        MainController->OnSessionChange(window, code);
    }
    return TRUE;
}

LRESULT OnTrayNotify(WPARAM iconId, LPARAM mouseMessage)
{
    if (!MainController) {
        return 0;
    }
    CTrayControl* tray = nullptr;
    if (iconId == REMOTE_TRAY_ICON) {
        tray = CMainCtrl::RemoteTray;
    } else if (iconId == KEYBOARD_TRAY_ICON) {
        tray = CMainCtrl::KeyboardTray;
    }
    if (tray) {
        tray->OnTrayNotify(WM_TRAY_NOTIFY, static_cast<UINT>(iconId), static_cast<UINT>(mouseMessage));
    }
    return 0;
}

// Any program can post the two device messages: lParam is used only when it
// names one of the open devices.
LRESULT OnHidReadNext(LPARAM lParam)
{
    if (CHidDevice* device = MainController ? MainController->FindListedDevice(lParam) : nullptr) {
        device->IssueRead();
    }
    return 0;
}

LRESULT OnHidReport(LPARAM lParam)
{
    if (CHidDevice* device = MainController ? MainController->FindListedDevice(lParam) : nullptr) {
        MainController->OnHidReport(device);
    }
    return 0;
}

LRESULT OnHidReopen()
{
    if (MainController) {
        MainController->ReopenDevices();
    }
    return 0;
}

LRESULT OnHidReopenWake()
{
    if (MainController) {
        MainController->ReopenDevicesAndCheckWake();
    }
    return 0;
}

LRESULT OnPlayerOsd(WPARAM, LPARAM)
{
    return 0;
}

LRESULT OnReloadOnScreen(WPARAM reason)
{
    if (MainController) {
        CConfig::ReloadOnScreenSettings(static_cast<int>(reason));
    }
    return 0;
}

}  // namespace

CMainCtrl* GetMainController() { return MainController; }

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_NCCREATE:
        return OnNcCreate();
    case WM_CREATE:
        return OnCreate(window, reinterpret_cast<const CREATESTRUCTA*>(lParam));
    case WM_DESTROY:
        return OnDestroy();
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        return OnEndSession();
    case WM_WINDOWPOSCHANGING:
    case WM_WINDOWPOSCHANGED:
        return 0;
    case WM_COPYDATA:
        return OnCopyData(wParam, reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    case WM_COMMAND:
    case WM_SYSCOMMAND:
        // The tray menus return their choice directly.
        return 0;
    case WM_TIMER:
        return OnTimer(window, wParam);
    case WM_POWERBROADCAST:
        return OnPowerBroadcast(window, wParam, lParam);
    case WM_DEVICECHANGE:
        return OnDeviceChange(window, wParam, lParam);
    case WM_WTSSESSION_CHANGE:
        return OnSessionChange(window, wParam);
    case WM_TRAY_NOTIFY:
        return OnTrayNotify(wParam, lParam);
    case WM_HID_READ_NEXT:
        return OnHidReadNext(lParam);
    case WM_HID_REPORT:
        return OnHidReport(lParam);
    case WM_HID_REOPEN:
        return OnHidReopen();
    case WM_HID_REOPEN_WAKE:
        return OnHidReopenWake();
    case WM_PLAYER_OSD:
        return OnPlayerOsd(wParam, lParam);
    case WM_RELOAD_ONSCREEN:
        return OnReloadOnScreen(wParam);
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
