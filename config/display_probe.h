#pragma once
// Binding of the display-probe library DSPPRB.dll, which tells on Windows 8
// and later whether the desktop (mode 1) or a full-screen shell surface is in
// front.

#include <windows.h>

#include <cstdint>

constexpr char DISPLAY_PROBE_PATH[] = "C:\\Program Files\\ZUZIDAZOR\\DSPPRB.dll";
// The display mode that means the desktop is in front.
constexpr uint32_t DISPLAY_MODE_DESKTOP = 1;

struct DisplayProbe {
    using InitializeFn = LONG(WINAPI*)();
    using FinalizeFn = LONG(WINAPI*)();
    using GetDisplayModeFn = LONG(WINAPI*)(uint32_t* mode);

    HMODULE module = nullptr;
    InitializeFn Initialize = nullptr;
    FinalizeFn Finalize = nullptr;
    GetDisplayModeFn GetDisplayMode = nullptr;

    // Loads and initialises the library when osClass is above 14. Keeps
    // nothing when it is missing, lacks DSPPRB_Initialize or that fails.
    void Bind(uint32_t osClass);
    // Finalises and frees a bound library; clears the bindings.
    void Release();
    // 0 below Windows 8 or without the probe; else the refined mode.
    uint32_t QueryDisplayMode(uint32_t osClass) const;
};

// 2 for the immersive shell window, 3 for the charms, search and shell
// dialogs, otherwise 1; classes are compared in lower case.
uint32_t RefineDisplayMode(const char* foregroundClass);
