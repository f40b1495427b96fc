#pragma once
// The hidden main window: its procedure hands every message to the main
// controller and tears the program down on WM_DESTROY.

#include <windows.h>

class CMainCtrl;

// Set at start-up from the INITLCD option.
extern BOOL InitLcdAtCreate;
// The console-display power-setting registration.
extern HPOWERNOTIFY DisplayNotify;

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Marks a handler of the main window's messages as running. The window
// procedure puts one around every message; timer procedures of the main
// window, which it does not see, put one around their work. A request to
// end the program that comes while a handler runs a modal loop (a menu, a
// message box) waits until the outermost handler is done.
class MainWindowHandler {
public:
    MainWindowHandler();
    ~MainWindowHandler();
    MainWindowHandler(const MainWindowHandler&) = delete;
    MainWindowHandler& operator=(const MainWindowHandler&) = delete;
};

// The main controller while the window exists, else null.
CMainCtrl* GetMainController();
