#include "core/main_window.h"

#include "base/messages.h"
#include "config/config.h"
#include "core/main_ctrl.h"
#include "core/message_box.h"
#include "core/watchers.h"
#include "keys/key_ctrl.h"
#include "osd/osd_control.h"
#include "tray/tray_control.h"

#include <cstring>
#include <new>

BOOL InitLcdAtCreate = FALSE;
HPOWERNOTIFY DisplayNotify = nullptr;

namespace {

// The player control numbers its notices 0 to 8, the texts go from 0 to 6:
// play (7) and pause (8) show the texts of play and pause.
constexpr uint16_t PLAYER_NOTICE_PLAY = 7;
constexpr uint16_t PLAYER_NOTICE_PAUSE = 8;
constexpr int PLAYER_TEXT_PLAY = 3;
constexpr int PLAYER_TEXT_PAUSE = 6;

CMainCtrl* MainController = nullptr;

// Handlers of the main window's messages that are running, and a request to
// end the program that waits for them. The tray's menu and exit question
// and the program's message boxes run modal loops inside a handler, and the
// window's other messages keep coming in there: the exit timer, or WM_CLOSE
// from another program. Destroying the window then would delete the
// controller whose code is still on the stack; instead the menus and boxes
// are closed and the window goes once the outermost handler is done.
int HandlerDepth = 0;
HWND PendingClose = nullptr;

LRESULT RequestClose(HWND window)
{
    // One level is the handler of this very request.
    if (HandlerDepth > 1) {
        PendingClose = window;
        EndMenu();
        CloseMessageBoxes();
        return 0;
    }
    DestroyWindow(window);
    return 0;
}

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

void RegisterClientWindow(const COPYDATASTRUCT& copy)
{
    TargetWindowRegistration registration{};
    if (ReadTargetWindowRegistration(copy.lpData, copy.cbData, &registration)) {
        CConfig::RegisterTargetWindow(registration);
    }
}

void ShowClientRequest(const COPYDATASTRUCT& copy)
{
    ClientOsdRequest request{};
    if (CMainCtrl::Osd && CopyClientOsdRequest(copy.lpData, copy.cbData, &request)) {
        CMainCtrl::Osd->ShowClientRequest(&request);
    }
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
        RegisterClientWindow(*copy);
    } else if (kind == COPYDATA_OSD_REQUEST) {
        ShowClientRequest(*copy);
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
        RequestClose(window);
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
    if (iconId == TRAY_ICON_REMOTE) {
        tray = CMainCtrl::RemoteTray;
    } else if (iconId == TRAY_ICON_KEYBOARD) {
        tray = CMainCtrl::KeyboardTray;
    }
    if (tray) {
        tray->OnTrayNotify(WM_TRAY_NOTIFY, static_cast<UINT>(iconId), static_cast<UINT>(mouseMessage));
    }
    return 0;
}

LRESULT OnHidReadNext(LPARAM lParam)
{
    if (MainController) {
        MainController->OnHidReadNext(lParam);
    }
    return 0;
}

LRESULT OnHidReport(LPARAM lParam)
{
    if (MainController) {
        MainController->OnHidReport(lParam);
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

// The player text of a notice number, or -1 when there is none.
int PlayerTextIndex(uint16_t notice)
{
    if (notice < AUDIO_CONTROL_STRING_COUNT) {
        return notice;
    }
    if (notice == PLAYER_NOTICE_PLAY) {
        return PLAYER_TEXT_PLAY;
    }
    if (notice == PLAYER_NOTICE_PAUSE) {
        return PLAYER_TEXT_PAUSE;
    }
    return -1;
}

LRESULT OnPlayerOsd(WPARAM tag, LPARAM notice)
{
    if (!MainController || !CMainCtrl::Osd || LOWORD(tag) != PLAYER_OSD_TAG) {
        return 0;
    }
    const int index = PlayerTextIndex(LOWORD(notice));
    if (index < 0) {
        return 0;
    }
    char text[TEXT_FIELD_SIZE + 1] = {};
    std::memcpy(text, CConfig::GetAudioControlStrings().Str[index], TEXT_FIELD_SIZE);
    CMainCtrl::Osd->ShowText(text, FALSE);
    return 0;
}

LRESULT OnReloadOnScreen(WPARAM reason)
{
    if (MainController) {
        CConfig::ReloadOnScreenSettings(static_cast<int>(reason));
    }
    return 0;
}

LRESULT Dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_NCCREATE:
        return OnNcCreate();
    case WM_CREATE:
        return OnCreate(window, reinterpret_cast<const CREATESTRUCTA*>(lParam));
    case WM_DESTROY:
        return OnDestroy();
    case WM_CLOSE:
        return RequestClose(window);
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

}  // namespace

MainWindowHandler::MainWindowHandler() { ++HandlerDepth; }

MainWindowHandler::~MainWindowHandler()
{
    if (--HandlerDepth > 0 || !PendingClose) {
        return;
    }
    HWND window = PendingClose;
    PendingClose = nullptr;
    if (IsWindow(window)) {
        DestroyWindow(window);
    }
}

CMainCtrl* GetMainController() { return MainController; }

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    MainWindowHandler handler;
    return Dispatch(window, message, wParam, lParam);
}
