#pragma once
// What the controllers below core need of the running program, and no more:
// its hidden main window (to post to and to own timers), the program's
// instance (its own icons and strings) and the program's message box. Core
// fills it in when the main window is created; code below core reads it here
// instead of including the main controller. Main thread only.

#include <windows.h>

// The message box's numbered slots: one open box per slot.
constexpr UINT MSGBOX_SLOT_MIN = 1;
constexpr UINT MSGBOX_SLOT_MAX = 31;

// Answers besides IDOK/IDCANCEL/IDYES/IDNO (and 0 for the close button).
constexpr INT_PTR MSGBOX_SLOT_BUSY = 0xF001;
constexpr INT_PTR MSGBOX_BAD_SLOT = 0xF002;

// The slots the program's notices and questions use.
constexpr UINT MSGBOX_SLOT_LAUNCH_FAILED = 1;
constexpr UINT MSGBOX_SLOT_LAUNCH_NOTICE = 3;
constexpr UINT MSGBOX_SLOT_SONRA_MISSING = 4;
constexpr UINT MSGBOX_SLOT_SONRA_STOPPED = 5;
constexpr UINT MSGBOX_SLOT_TV_NOTICE = 6;
constexpr UINT MSGBOX_SLOT_EXIT_QUESTION = 8;
// The Halcyon notice shares its slot with the remote tray's exit question.
constexpr UINT MSGBOX_SLOT_HALCYON_NOTICE = 8;
constexpr UINT MSGBOX_SLOT_ONE_TOUCH = 10;
constexpr UINT MSGBOX_SLOT_KEYBOARD_EXIT = 11;

using AppMessageBoxFn = INT_PTR (*)(HWND owner, LPCSTR text, LPCSTR caption, UINT type, UINT slot);

// The main window; null before it exists.
HWND GetAppMainWindow();
// The program's instance; null before the main window exists.
HINSTANCE GetAppInstance();
// Whether the console display is off, as the last display-state notice
// said; false before any.
bool IsAppDisplayOff();
// The mutex held around every change of, and call into, the device manager
// (other programs of the session open it by name too); null before the main
// controller made it, or when it could not be made.
HANDLE GetAppRestartMutex();
// Whether the console display has gone off at any time since the program
// started: a button that wakes a connected-standby machine then finds the
// TV application possibly still closing.
bool WasAppDisplayOffSeen();
// Runs the program's message box in the given slot; 0 (as if closed without
// an answer) while no message box has been installed.
INT_PTR ShowAppMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type, UINT slot);

// Core's side (and tests that stand in for it).
void SetAppMainWindow(HWND window);
void SetAppInstance(HINSTANCE instance);
void SetAppMessageBox(AppMessageBoxFn show);
void SetAppDisplayOff(bool off);
void SetAppRestartMutex(HANDLE mutex);
void SetAppDisplayOffSeen(bool seen);
