#include "companions/osdview/osd_painter.h"

#include "companions/osdview/osd_symbols.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <utility>

namespace {

constexpr COLORREF UNLIT_SEGMENT = RGB(56, 56, 56);
constexpr COLORREF MUTE_CROSS = RGB(230, 40, 40);
constexpr COLORREF MUTE_CROSS_ON_RED = RGB(255, 255, 255);

// Restores the object a DC had before, when the scope ends.
class SelectIn {
public:
    SelectIn(HDC dc, HGDIOBJ object) : m_dc(dc), m_old(SelectObject(dc, object)) {}
    ~SelectIn() { SelectObject(m_dc, m_old); }
    SelectIn(const SelectIn&) = delete;
    SelectIn& operator=(const SelectIn&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_old;
};

class MemoryDc {
public:
    MemoryDc() : m_dc(CreateCompatibleDC(nullptr)) {}
    ~MemoryDc()
    {
        if (m_dc) {
            DeleteDC(m_dc);
        }
    }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    HDC get() const { return m_dc; }

private:
    HDC m_dc;
};

// A colour for the transparent pixels that nothing else in the image uses.
COLORREF PickKey(std::initializer_list<COLORREF> used)
{
    for (COLORREF key : {RGB(255, 0, 255), RGB(0, 255, 255), RGB(1, 2, 3)}) {
        if (std::find(used.begin(), used.end(), key) == used.end()) {
            return key;
        }
    }
    return RGB(3, 2, 1);
}

bool MakeCanvas(HDC dc, int width, int height, COLORREF key, OsdImage& image)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    image.Bitmap.reset(CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!image.Bitmap) {
        return false;
    }
    image.Width = width;
    image.Height = height;
    image.Key = key;
    return true;
}

void Fill(HDC dc, const RECT& rect, COLORREF color)
{
    ScopedGdiObject brush(CreateSolidBrush(color));
    FillRect(dc, &rect, static_cast<HBRUSH>(brush.get()));
}

COLORREF Mix(COLORREF a, COLORREF b)
{
    return RGB((GetRValue(a) + GetRValue(b)) / 2, (GetGValue(a) + GetGValue(b)) / 2, (GetBValue(a) + GetBValue(b)) / 2);
}

// The symbol characters drawn by hand, one square per character.
bool PaintSymbols(const OsdRequest& request, const OsdRect& screen, OsdImage& image)
{
    int side = OsdLineHeight(screen, request.Height);
    int margin = OsdMargin(screen, request.Margin);
    int edge = std::max(2, side / 14);
    int pad = edge + 2;
    int gap = side / 5;
    int count = static_cast<int>(std::strlen(request.Text));
    int width = std::min(screen.Width() - 2 * margin, count * side + (count - 1) * gap + 2 * pad);
    int height = side + 2 * pad;
    COLORREF color = request.Color;
    COLORREF outline = OutlineColorFor(color);
    MemoryDc dc;
    if (!dc.get() || width <= 0 || !MakeCanvas(dc.get(), width, height, PickKey({color, outline}), image)) {
        return false;
    }
    SelectIn canvas(dc.get(), image.Bitmap.get());
    RECT all{0, 0, width, height};
    Fill(dc.get(), all, image.Key);
    ScopedGdiObject pen(CreatePen(PS_SOLID, edge, outline));
    ScopedGdiObject brush(CreateSolidBrush(color));
    SelectIn selectPen(dc.get(), pen.get());
    SelectIn selectBrush(dc.get(), brush.get());
    for (int i = 0; i < count; ++i) {
        const SymbolGlyph* glyph = FindSymbolGlyph(static_cast<unsigned char>(request.Text[i]));
        int left = pad + i * (side + gap);
        if (!glyph || left + side > width) {
            break;
        }
        auto x = [&](uint8_t v) { return left + v * side / 100; };
        auto y = [&](uint8_t v) { return pad + v * side / 100; };
        for (const SymbolShape& shape : glyph->Shapes) {
            const uint8_t* p = shape.Xy;
            switch (shape.Kind) {
            case SymbolShape::Polygon: {
                POINT points[4];
                for (int k = 0; k < shape.Count && k < 4; ++k) {
                    points[k] = POINT{x(p[2 * k]), y(p[2 * k + 1])};
                }
                Polygon(dc.get(), points, std::min<int>(shape.Count, 4));
                break;
            }
            case SymbolShape::Box:
                Rectangle(dc.get(), x(p[0]), y(p[1]), x(p[2]), y(p[3]));
                break;
            case SymbolShape::Disc:
                Ellipse(dc.get(), x(p[0]), y(p[1]), x(p[2]), y(p[3]));
                break;
            case SymbolShape::None:
                break;
            }
        }
    }
    GdiFlush();
    return true;
}

// Whether the font the system chose for a symbol request really is a symbol
// font; without one the characters would show as plain letters and digits.
bool SymbolFontPresent(HFONT font)
{
    MemoryDc dc;
    if (!dc.get()) {
        return false;
    }
    SelectIn select(dc.get(), font);
    return GetTextCharset(dc.get()) == SYMBOL_CHARSET;
}

bool PaintText(const OsdRequest& request, const OsdRect& screen, OsdImage& image)
{
    int line = OsdLineHeight(screen, request.Height);
    int margin = OsdMargin(screen, request.Margin);
    LOGFONTA font = request.Font;
    if (font.lfHeight == 0) {
        font.lfHeight = -line;
    } else {
        font.lfHeight = std::clamp<LONG>(font.lfHeight, -screen.Height() / 2, screen.Height() / 2);
    }
    font.lfWidth = std::clamp<LONG>(font.lfWidth, 0, screen.Width());
    if (font.lfWeight == FW_DONTCARE) {
        font.lfWeight = FW_BOLD;  // reads better over a busy picture
    }
    LOGFONTA outlineFont = font;
    // The outline edge meets the transparent colour: smoothing would leave a
    // fringe of mixed pixels there. The text itself is smoothed onto the outline.
    outlineFont.lfQuality = NONANTIALIASED_QUALITY;
    if (font.lfQuality == DEFAULT_QUALITY) {
        font.lfQuality = ANTIALIASED_QUALITY;
    }
    ScopedGdiObject textFont(CreateFontIndirectA(&font));
    ScopedGdiObject edgeFont(CreateFontIndirectA(&outlineFont));
    if (!textFont || !edgeFont) {
        return false;
    }
    if (request.Font.lfCharSet == SYMBOL_CHARSET && AllSymbolsDrawable(request.Text) &&
        !SymbolFontPresent(static_cast<HFONT>(textFont.get()))) {
        return PaintSymbols(request, screen, image);
    }

    MemoryDc dc;
    if (!dc.get()) {
        return false;
    }
    const UINT format = DT_SINGLELINE | DT_NOPREFIX | DT_LEFT | DT_TOP;
    RECT measure{0, 0, 0, 0};
    {
        SelectIn select(dc.get(), textFont.get());
        DrawTextA(dc.get(), request.Text, -1, &measure, format | DT_CALCRECT);
    }
    int edge = std::max(2, std::abs(static_cast<int>(font.lfHeight)) / 14);
    int pad = edge + 2;
    int maxWidth = std::max(1, screen.Width() - 2 * margin);
    int width = std::min(maxWidth, static_cast<int>(measure.right) + 2 * pad);
    int height = std::min(screen.Height(), static_cast<int>(measure.bottom) + 2 * pad);

    COLORREF color = request.Color;
    COLORREF outline = OutlineColorFor(color);
    if (!MakeCanvas(dc.get(), width, height, PickKey({color, outline}), image)) {
        return false;
    }
    SelectIn canvas(dc.get(), image.Bitmap.get());
    RECT all{0, 0, width, height};
    Fill(dc.get(), all, image.Key);
    SetBkMode(dc.get(), TRANSPARENT);

    RECT place{pad, pad, width - pad, height - pad};
    const UINT drawFormat = format | DT_END_ELLIPSIS;
    {
        SelectIn select(dc.get(), edgeFont.get());
        SetTextColor(dc.get(), outline);
        for (int dy = -edge; dy <= edge; ++dy) {
            for (int dx = -edge; dx <= edge; ++dx) {
                if (dx * dx + dy * dy > edge * edge + 1) {
                    continue;
                }
                RECT shifted = place;
                OffsetRect(&shifted, dx, dy);
                DrawTextA(dc.get(), request.Text, -1, &shifted, drawFormat);
            }
        }
    }
    SelectIn select(dc.get(), textFont.get());
    SetTextColor(dc.get(), color);
    DrawTextA(dc.get(), request.Text, -1, &place, drawFormat);
    GdiFlush();
    return true;
}

// A thick line drawn twice: wider in the outline colour, then in its own.
void OutlinedLine(HDC dc, POINT from, POINT to, int width, COLORREF color, COLORREF outline)
{
    for (auto [w, c] : {std::pair{width + 2, outline}, std::pair{width, color}}) {
        ScopedGdiObject pen(CreatePen(PS_SOLID, w, c));
        SelectIn select(dc, pen.get());
        MoveToEx(dc, from.x, from.y, nullptr);
        LineTo(dc, to.x, to.y);
    }
}

void OutlinedArc(HDC dc, POINT centre, int radius, int width, COLORREF color, COLORREF outline)
{
    // Counter-clockwise from below right to above right: the right-hand side.
    for (auto [w, c] : {std::pair{width + 2, outline}, std::pair{width, color}}) {
        ScopedGdiObject pen(CreatePen(PS_SOLID, w, c));
        SelectIn select(dc, pen.get());
        Arc(dc, centre.x - radius, centre.y - radius, centre.x + radius, centre.y + radius, centre.x + radius,
            centre.y + radius, centre.x + radius, centre.y - radius);
    }
}

// The speaker in a side x side box at (x, y): a body and a cone, with sound
// waves for the volume picture or a cross for the mute picture.
void PaintSpeaker(HDC dc, int x, int y, int side, bool muted, COLORREF color, COLORREF outline)
{
    auto at = [&](double fx, double fy) {
        return POINT{x + static_cast<LONG>(fx * side), y + static_cast<LONG>(fy * side)};
    };
    const POINT shape[] = {at(0.06, 0.36), at(0.26, 0.36), at(0.52, 0.12), at(0.52, 0.88), at(0.26, 0.64),
                           at(0.06, 0.64)};
    {
        ScopedGdiObject pen(CreatePen(PS_SOLID, std::max(1, side / 24), outline));
        ScopedGdiObject brush(CreateSolidBrush(muted ? Mix(color, UNLIT_SEGMENT) : color));
        SelectIn selectPen(dc, pen.get());
        SelectIn selectBrush(dc, brush.get());
        Polygon(dc, shape, static_cast<int>(std::size(shape)));
    }
    int stroke = std::max(2, side / 12);
    if (muted) {
        COLORREF cross = (color == MUTE_CROSS) ? MUTE_CROSS_ON_RED : MUTE_CROSS;
        OutlinedLine(dc, at(0.64, 0.32), at(0.94, 0.68), stroke, cross, outline);
        OutlinedLine(dc, at(0.64, 0.68), at(0.94, 0.32), stroke, cross, outline);
    } else {
        POINT centre = at(0.52, 0.5);
        OutlinedArc(dc, centre, side * 18 / 100, stroke, color, outline);
        OutlinedArc(dc, centre, side * 34 / 100, stroke, color, outline);
    }
}

bool PaintBar(const OsdRequest& request, const OsdRect& screen, OsdImage& image)
{
    const int border = 2;
    int margin = OsdMargin(screen, request.Margin);
    int barHeight = OsdLineHeight(screen, request.Height);
    int picture = request.Picture != OSD_PICTURE_NONE ? barHeight * 3 / 2 : 0;
    int gap = picture / 4;
    int maxLength = screen.Width() - 2 * margin - picture - gap - 2 * border;
    int length = std::clamp(OsdBarLength(screen, request.BarLength), 1, std::max(1, maxLength));
    int width = picture + gap + length + 2 * border;
    int height = std::max(picture, barHeight) + 2 * border;

    bool muted = request.Picture == OSD_PICTURE_MUTE;
    COLORREF color = request.Color;
    COLORREF outline = OutlineColorFor(color);
    COLORREF lit = muted ? Mix(color, UNLIT_SEGMENT) : color;
    MemoryDc dc;
    if (!dc.get() ||
        !MakeCanvas(dc.get(), width, height, PickKey({color, outline, lit, UNLIT_SEGMENT, MUTE_CROSS}), image)) {
        return false;
    }
    SelectIn canvas(dc.get(), image.Bitmap.get());
    RECT all{0, 0, width, height};
    Fill(dc.get(), all, image.Key);
    if (picture) {
        PaintSpeaker(dc.get(), border, border + (height - 2 * border - picture) / 2, picture, muted, color, outline);
    }

    uint32_t segments = UsableSegments(request.BarSegments, length);
    uint32_t lighted = LitSegments(request.BarMax, request.BarValue, segments);
    int left = border + picture + gap;
    int top = (height - barHeight) / 2;
    int spacing = segments > 1 ? std::max(1, length / static_cast<int>(segments * 6)) : 0;
    for (uint32_t i = 0; i < segments; ++i) {
        RECT segment{left + static_cast<LONG>(static_cast<int64_t>(length) * i / segments), top,
                     left + static_cast<LONG>(static_cast<int64_t>(length) * (i + 1) / segments) - spacing,
                     top + barHeight};
        Fill(dc.get(), segment, outline);
        InflateRect(&segment, -1, -1);
        Fill(dc.get(), segment, i < lighted ? lit : UNLIT_SEGMENT);
    }
    GdiFlush();
    return true;
}

}  // namespace

COLORREF OutlineColorFor(COLORREF color)
{
    int luma = (GetRValue(color) * 299 + GetGValue(color) * 587 + GetBValue(color) * 114) / 1000;
    return luma < 80 ? RGB(255, 255, 255) : RGB(0, 0, 0);
}

bool PaintOsd(const OsdRequest& request, const OsdRect& screen, OsdImage& image)
{
    if (screen.Width() <= 0 || screen.Height() <= 0) {
        return false;
    }
    return request.IsBar ? PaintBar(request, screen, image) : PaintText(request, screen, image);
}
