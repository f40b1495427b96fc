#include "tests/support/screen_capture.h"

#include <algorithm>
#include <cstring>

bool ScreenCapture::Grab()
{
    return GrabScreen(VirtualScreenRect(), m_pixels);
}

int ScreenCapture::Count(COLORREF color, const RECT& area) const
{
    int count = 0;
    int left = std::max<int>(area.left, m_pixels.Left);
    int top = std::max<int>(area.top, m_pixels.Top);
    int right = std::min<int>(area.right, m_pixels.Left + m_pixels.Width);
    int bottom = std::min<int>(area.bottom, m_pixels.Top + m_pixels.Height);
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
            if (m_pixels.At(x, y) == color) {
                ++count;
            }
        }
    }
    return count;
}

int ScreenCapture::CountEverywhere(COLORREF color) const
{
    RECT all{m_pixels.Left, m_pixels.Top, m_pixels.Left + m_pixels.Width, m_pixels.Top + m_pixels.Height};
    return Count(color, all);
}

RECT ScreenCapture::Bounds(COLORREF color) const
{
    RECT box{0, 0, 0, 0};
    bool any = false;
    for (int y = 0; y < m_pixels.Height; ++y) {
        for (int x = 0; x < m_pixels.Width; ++x) {
            int sx = m_pixels.Left + x;
            int sy = m_pixels.Top + y;
            if (m_pixels.At(sx, sy) != color) {
                continue;
            }
            if (!any) {
                box = RECT{sx, sy, sx + 1, sy + 1};
                any = true;
            } else {
                box.left = std::min<LONG>(box.left, sx);
                box.top = std::min<LONG>(box.top, sy);
                box.right = std::max<LONG>(box.right, sx + 1);
                box.bottom = std::max<LONG>(box.bottom, sy + 1);
            }
        }
    }
    return box;
}

RECT GridCell(int kind)
{
    RECT area{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    int w = area.right - area.left;
    int h = area.bottom - area.top;
    int row = kind / 3;
    int column = kind % 3;
    return RECT{area.left + w * column / 3, area.top + h * row / 3, area.left + w * (column + 1) / 3,
                area.top + h * (row + 1) / 3};
}

namespace {

BOOL CALLBACK FindVisibleDisplay(HWND window, LPARAM param)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char cls[64] = {};
    GetClassNameA(window, cls, sizeof(cls));
    if (pid == GetCurrentProcessId() && IsWindowVisible(window) && std::strncmp(cls, "Afx:", 4) == 0) {
        *reinterpret_cast<HWND*>(param) = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND VisibleDisplayWindow()
{
    HWND found = nullptr;
    EnumWindows(FindVisibleDisplay, reinterpret_cast<LPARAM>(&found));
    return found;
}
