#pragma once
// Draws a checked request into a bitmap: texts in their font and colour with
// an outline, bars of segments, and the volume and mute pictures. Pixels of
// the key colour are transparent on screen.

#include <windows.h>

#include "base/scoped.h"
#include "companions/osdview/osd_layout.h"
#include "companions/osdview/osd_request.h"

struct OsdImage {
    ScopedGdiObject Bitmap;  // 32-bit top-down DIB section
    int Width = 0;
    int Height = 0;
    COLORREF Key = 0;
};

// The screen decides the sizes; the image is never larger than the screen
// less its margins. False when GDI could not make the bitmap.
bool PaintOsd(const OsdRequest& request, const OsdRect& screen, OsdImage& image);

// The colour outlines are drawn in: black, or white around dark colours.
COLORREF OutlineColorFor(COLORREF color);
