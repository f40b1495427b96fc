#pragma once
// Small shared operations: is the keyboard program running, start the
// display-switch program.

#include <windows.h>

constexpr char ALT_RUNNER_PATH[] = "C:\\Program Files\\ZUZIDAZOR\\AltRunner.exe";
constexpr char ALT_RUNNER_FOLDER[] = "C:\\Program Files\\ZUZIDAZOR";

// A top-level window of class "ORLANTESKCLASS" exists (any title).
BOOL IsKeyboardProgramRunning();

// On Windows 8 and later starts AltRunner.exe "/100" from its fixed path,
// then waits up to 5 x 100 ms for the desktop to come to the front.
BOOL StartAltRunner();
