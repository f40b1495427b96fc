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

// The main controller while the window exists, else null.
CMainCtrl* GetMainController();
