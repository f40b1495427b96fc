#include "core/main_window.h"

#include "core/main_ctrl.h"
#include "core/messages.h"
#include "core/watchers.h"

#include <new>

BOOL InitLcdAtCreate = FALSE;
HPOWERNOTIFY DisplayNotify = nullptr;

namespace {

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

LRESULT OnEndSession()
{
    if (MainController) {
        MainController->ClearRemoteLcd();
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
    case WM_COMMAND:
    case WM_SYSCOMMAND:
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
