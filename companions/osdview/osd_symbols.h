#pragma once
// Our own drawings of the symbol-font characters that client programs ask
// for (play, pause, stop, record, wind, skip, up, down), for machines where
// the symbol font itself is missing. Shapes in a 100 x 100 box; plain data.

#include <cstddef>
#include <cstdint>

struct SymbolShape {
    enum Form : uint8_t { None, Polygon, Box, Disc };
    Form Kind;
    uint8_t Count;      // points of a polygon
    uint8_t Xy[8];      // x0 y0 x1 y1 ...; a box or disc uses the first two points as corners
};

constexpr size_t SYMBOL_SHAPES_MAX = 3;

struct SymbolGlyph {
    unsigned char Code;
    SymbolShape Shapes[SYMBOL_SHAPES_MAX];
};

// The drawing of a character, or null when we have none.
const SymbolGlyph* FindSymbolGlyph(unsigned char code);

// True when every character of text has a drawing (and there is one at least).
bool AllSymbolsDrawable(const char* text);
