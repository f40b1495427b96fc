#pragma once
// The program's own message box: 31 numbered slots, one open box per slot,
// Japanese button texts, icons from imageres.dll.

#include <windows.h>

#include "base/app_context.h"  // the slots and answers

// Runs the box modally on the calling (main) thread; the main window keeps
// handling its messages meanwhile. The texts must live until it returns.
INT_PTR ShowMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type, UINT slot);

// The open box of a slot, or null (for the tray's exit question and tests).
HWND GetMessageBoxWindow(UINT slot);

// Asks every open box to go, as its close box would (each answers 0): the
// program is ending.
void CloseMessageBoxes();

// Makes window the foreground window even when another thread owns the
// foreground, as Windows otherwise refuses it to a background program.
void BringWindowForward(HWND window);
