#include "companions/kovashot/screen_grab.h"

#include <cstring>

COLORREF ScreenPixels::At(int x, int y) const
{
    int cx = x - Left;
    int cy = y - Top;
    if (cx < 0 || cy < 0 || cx >= Width || cy >= Height) {
        return 0;
    }
    uint32_t p = Bgrx[static_cast<size_t>(cy) * Width + cx];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

RECT VirtualScreenRect()
{
    int x = GetSystemMetrics(SM_XVIRTUALSCREEN);
    int y = GetSystemMetrics(SM_YVIRTUALSCREEN);
    return RECT{x, y, x + GetSystemMetrics(SM_CXVIRTUALSCREEN), y + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

bool GrabScreen(const RECT& area, ScreenPixels& out)
{
    out = ScreenPixels{};
    int width = area.right - area.left;
    int height = area.bottom - area.top;
    if (width <= 0 || height <= 0) {
        return false;
    }
    HDC screen = GetDC(nullptr);
    if (!screen) {
        return false;
    }
    bool ok = false;
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = memory ? CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
    if (bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        // CAPTUREBLT takes layered windows along.
        if (BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY | CAPTUREBLT)) {
            GdiFlush();
            out.Left = area.left;
            out.Top = area.top;
            out.Width = width;
            out.Height = height;
            out.Bgrx.resize(static_cast<size_t>(width) * height);
            std::memcpy(out.Bgrx.data(), bits, out.Bgrx.size() * sizeof(uint32_t));
            for (uint32_t& p : out.Bgrx) {
                p &= 0x00FFFFFF;
            }
            ok = true;
        }
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    if (memory) {
        DeleteDC(memory);
    }
    ReleaseDC(nullptr, screen);
    return ok;
}
