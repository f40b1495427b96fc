#include "core/startup.h"

#include "base/app_context.h"
#include "base/messages.h"
#include "base/scoped.h"
#include "base/text_util.h"
#include "config/controls.h"
#include "core/main_ctrl.h"
#include "core/main_window.h"
#include "core/opt_ctrl.h"
#include "core/watchers.h"
#include "resources/resource.h"

#include <memory>
#include <new>

char MainWindowClassName[128] = {};

void GetMainWindowClassName(char out[128])
{
    // Read straight from the registry: the store is not loaded yet.
    DWORD teskEnable = 0;
    HKEY raw = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, CONTROLS_KEY, 0, KEY_READ, &raw) == ERROR_SUCCESS) {
        ScopedRegKey key(raw);
        DWORD size = sizeof(teskEnable);
        if (RegQueryValueExA(key.get(), "Tesk_Enable", nullptr, nullptr, reinterpret_cast<BYTE*>(&teskEnable),
                             &size) != ERROR_SUCCESS) {
            teskEnable = 0;
        }
    }
    CopyCut(out, 128, teskEnable ? KEYBOARD_WINDOW_CLASS : MAIN_WINDOW_CLASS);
}

int RunKova(HINSTANCE instance, LPSTR commandLine)
{
    CMainCtrl::DisplayOffSeen = 0;
    SetAppDisplayOffSeen(false);

    std::unique_ptr<COptCtrl> options(new (std::nothrow) COptCtrl(commandLine));
    if (!options) {
        return 1;
    }
    if (!options->IsFirstInstance()) {
        // The running copy is left alone, and is not told.
        return 1;
    }

    GetMainWindowClassName(MainWindowClassName);
    InitLcdAtCreate = (options->GetOptions() & OPT_INITLCD) ? TRUE : FALSE;

    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_KOVA));
    wc.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(IDI_KOVA));
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = MainWindowClassName;
    // A failed registration makes the window creation below fail.
    RegisterClassExA(&wc);

    // Never shown and never activated: the program lives in the tray.
    HWND window = CreateWindowExA(WS_EX_NOACTIVATE, MainWindowClassName, MAIN_WINDOW_TITLE, WS_POPUP, 0, 0, 0, 0,
                                  nullptr, nullptr, instance, nullptr);
    if (!window) {
        return 0;
    }
    CMainCtrl::MainWindow = window;

    if (!StartSendWindowWatcher()) {
        return 0;
    }
    if (!StartPriorityWatcher()) {
        return 0;
    }

    DisplayNotify = RegisterPowerSettingNotification(window, &GUID_CONSOLE_DISPLAY_STATE, DEVICE_NOTIFY_WINDOW_HANDLE);

    MSG msg{};
    BOOL got;
    while ((got = GetMessageA(&msg, nullptr, 0, 0)) != 0 && got != -1) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}
