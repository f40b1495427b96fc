#include "core/startup.h"

#include "base/messages.h"
#include "base/text_util.h"
#include "config/controls.h"
#include "config/regs.h"
#include "core/main_ctrl.h"
#include "core/main_window.h"
#include "core/opt_ctrl.h"
#include "core/watchers.h"
#include "resources/resource.h"

#include <cstdint>
#include <memory>
#include <new>

char MainWindowClassName[128] = {};

void GetMainWindowClassName(char out[128])
{
    // Read before the store is loaded, but by the store's own reader and
    // rules: a text or a value of 1 to 3 bytes is no setting. Otherwise the
    // window could get the keyboard's class while the store runs without
    // the keyboard features, and clients would not find the program.
    uint32_t teskEnable = 0;
    CRegs regs;
    if (regs.Open(HKEY_LOCAL_MACHINE, CONTROLS_KEY, KEY_READ) == ERROR_SUCCESS) {
        if (regs.QueryDword("Tesk_Enable", &teskEnable) != ERROR_SUCCESS) {
            teskEnable = 0;
        }
        regs.Close();
    }
    CopyCut(out, 128, teskEnable ? KEYBOARD_WINDOW_CLASS : MAIN_WINDOW_CLASS);
}

int RunKova(HINSTANCE instance, LPSTR commandLine)
{
    CMainCtrl::DisplayOffSeen = 0;

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
