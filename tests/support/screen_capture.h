#pragma once
// Screen pixels for tests: what is really on the virtual screen right now,
// read in-process (GetDC(NULL) + BitBlt into a DIB).

#include <windows.h>

#include "companions/kovashot/screen_grab.h"

class ScreenCapture {
public:
    // Grabs the whole virtual screen; false when it could not be read.
    bool Grab();

    const ScreenPixels& Pixels() const { return m_pixels; }
    // Pixels of exactly this colour inside area (screen coordinates).
    int Count(COLORREF color, const RECT& area) const;
    int CountEverywhere(COLORREF color) const;
    // The smallest rectangle holding every pixel of the colour; empty when none.
    RECT Bounds(COLORREF color) const;

private:
    ScreenPixels m_pixels;
};

// The primary monitor's work area split into the 3 x 3 display grid:
// cell 0 top left ... 8 bottom right.
RECT GridCell(int kind);

// A visible display window of this process (class beginning "Afx:"), or null.
HWND VisibleDisplayWindow();
