#pragma once
// Copies pixels of the screen (any part of the virtual screen) into memory.

#include <windows.h>

#include <cstdint>
#include <vector>

struct ScreenPixels {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    std::vector<uint32_t> Bgrx;  // one 0x00RRGGBB word per pixel, rows top-down

    // The colour at screen coordinates, as a COLORREF; 0 outside the grab.
    COLORREF At(int x, int y) const;
};

// The whole virtual screen (every monitor).
RECT VirtualScreenRect();

// False when the rectangle is empty or GDI fails.
bool GrabScreen(const RECT& area, ScreenPixels& out);
