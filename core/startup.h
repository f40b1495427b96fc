#pragma once
// Start-up of the resident program: single instance, main window, worker
// threads, message loop.

#include <windows.h>

// The class name of the main window, chosen by Tesk_Enable.
extern char MainWindowClassName[128];

void GetMainWindowClassName(char out[128]);

// The whole life of the program; returns the process exit code.
int RunKova(HINSTANCE instance, LPSTR commandLine);
