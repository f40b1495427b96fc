#pragma once
// Small shared operations: is the keyboard program running, start the
// display-switch program, and where the programs at the program folder's
// fixed place are.

#include <windows.h>

#include <cstddef>

// AltRunner and the Media Center launcher are looked for here, at this fixed
// place, whatever the real Program Files folder is.
constexpr char FIXED_REMOTE_PROGRAM_DIR[] = "C:\\Program Files\\ZUZIDAZOR";
constexpr char ALT_RUNNER_FILE[] = "AltRunner.exe";
constexpr char CENTER_LAUNCHER_FILE[] = "CenterLnch.exe";

// "<fixed folder>\<file>" into out; false when it would not fit.
bool BuildFixedProgramPath(char* out, size_t size, const char* file);

// Tests only: a folder of their own stands for the fixed one (the build puts
// AltRunner.exe into the real one, and its mere presence changes every
// launch profile); null restores the fixed folder.
void OverrideFixedProgramDirForTests(const char* folder);

// A top-level window of class "ORLANTESKCLASS" exists (any title).
BOOL IsKeyboardProgramRunning();

// On Windows 8 and later starts AltRunner.exe "/100" from its fixed path,
// then waits up to 5 x 100 ms for the desktop to come to the front.
BOOL StartAltRunner();
