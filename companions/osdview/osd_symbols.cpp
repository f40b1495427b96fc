#include "companions/osdview/osd_symbols.h"

namespace {

using S = SymbolShape;

constexpr S Tri(uint8_t x0, uint8_t y0, uint8_t x1, uint8_t y1, uint8_t x2, uint8_t y2)
{
    return S{S::Polygon, 3, {x0, y0, x1, y1, x2, y2, 0, 0}};
}
constexpr S Rect(uint8_t l, uint8_t t, uint8_t r, uint8_t b)
{
    return S{S::Box, 2, {l, t, r, b, 0, 0, 0, 0}};
}
constexpr S Circle(uint8_t l, uint8_t t, uint8_t r, uint8_t b)
{
    return S{S::Disc, 2, {l, t, r, b, 0, 0, 0, 0}};
}

// The characters of the symbol font the client library sends (positions 1
// to 10 of its icon call), and their neighbours of the same family.
constexpr SymbolGlyph GLYPHS[] = {
    {0x33, {Tri(80, 10, 15, 50, 80, 90)}},                                          // left
    {0x34, {Tri(20, 10, 85, 50, 20, 90)}},                                          // play
    {0x35, {Tri(50, 15, 90, 80, 10, 80)}},                                          // up
    {0x36, {Tri(10, 20, 90, 20, 50, 85)}},                                          // down
    {0x37, {Tri(50, 15, 5, 50, 50, 85), Tri(95, 15, 50, 50, 95, 85)}},              // rewind
    {0x38, {Tri(5, 15, 50, 50, 5, 85), Tri(50, 15, 95, 50, 50, 85)}},               // fast forward
    {0x39, {Rect(5, 15, 17, 85), Tri(56, 15, 17, 50, 56, 85), Tri(95, 15, 56, 50, 95, 85)}},  // previous
    {0x3A, {Tri(5, 15, 44, 50, 5, 85), Tri(44, 15, 83, 50, 44, 85), Rect(83, 15, 95, 85)}},   // next
    {0x3B, {Rect(20, 12, 42, 88), Rect(58, 12, 80, 88)}},                           // pause
    {0x3C, {Rect(15, 15, 85, 85)}},                                                 // stop
    {0x3D, {Circle(15, 15, 85, 85)}},                                               // record
    {0x67, {Rect(15, 15, 85, 85)}},                                                 // stop
    {0x6E, {Circle(15, 15, 85, 85)}},                                               // record
};

}  // namespace

const SymbolGlyph* FindSymbolGlyph(unsigned char code)
{
    for (const SymbolGlyph& glyph : GLYPHS) {
        if (glyph.Code == code) {
            return &glyph;
        }
    }
    return nullptr;
}

bool AllSymbolsDrawable(const char* text)
{
    if (!text || !*text) {
        return false;
    }
    for (const char* p = text; *p; ++p) {
        if (!FindSymbolGlyph(static_cast<unsigned char>(*p))) {
            return false;
        }
    }
    return true;
}
