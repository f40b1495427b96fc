#pragma once
// The program's own message box: 31 numbered slots, one open box per slot,
// Japanese button texts, icons from imageres.dll.

#include <windows.h>

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
constexpr UINT MSGBOX_SLOT_ONE_TOUCH = 10;
constexpr UINT MSGBOX_SLOT_KEYBOARD_EXIT = 11;

// Runs the box modally on the calling (main) thread; the main window keeps
// handling its messages meanwhile. The texts must live until it returns.
INT_PTR ShowMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type, UINT slot);

// The open box of a slot, or null (for the tray's exit question and tests).
HWND GetMessageBoxWindow(UINT slot);

// Makes window the foreground window even when another thread owns the
// foreground, as Windows otherwise refuses it to a background program.
void BringWindowForward(HWND window);
