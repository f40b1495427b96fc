#pragma once
// Private window messages and timer ids of the main window.

#include <windows.h>

// The class names other programs look for.
constexpr char MAIN_WINDOW_CLASS[] = "Orlan Kova MainWnd Class";
constexpr char KEYBOARD_WINDOW_CLASS[] = "ORLANTESKCLASS";
constexpr char MAIN_WINDOW_TITLE[] = "Orlan KOVA";

constexpr UINT WM_TRAY_NOTIFY = WM_USER + 2;
constexpr UINT WM_HID_READ_NEXT = WM_USER + 4;
constexpr UINT WM_HID_REPORT = WM_USER + 5;
constexpr UINT WM_HID_REOPEN = WM_USER + 8;
constexpr UINT WM_HID_REOPEN_WAKE = WM_USER + 9;
constexpr UINT WM_PLAYER_OSD = WM_USER + 100;
constexpr UINT WM_RELOAD_ONSCREEN = WM_USER + 312;

// WM_COPYDATA kinds sent by the client library.
constexpr WPARAM COPYDATA_REGISTER_WINDOW = 0;
constexpr WPARAM COPYDATA_OSD_REQUEST = 1;

// WM_PLAYER_OSD carries this in the low word of wParam.
constexpr WPARAM PLAYER_OSD_TAG = 100;

// Window timers handled by the window procedure.
constexpr UINT_PTR IDT_EXIT = 10;
constexpr UINT_PTR IDT_NUMERIC_ENTRY = 32565;
// Timers with their own timer procedures.
constexpr UINT_PTR IDT_WAKE_CHECK = 1001;
constexpr UINT_PTR IDT_WAKE_RETRY = 1002;
constexpr UINT_PTR IDT_VOLUME_REPEAT = 32566;
