#pragma once
// Where a display goes and how big it is, from the record's steps and the
// screen. Plain arithmetic, no Windows headers.

#include <cstdint>

struct OsdRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
};

constexpr int OSD_MIN_LINE_HEIGHT = 12;

// A line (text or bar) is screen height / (2 x step) high, at least
// OSD_MIN_LINE_HEIGHT and at most a quarter of the screen; step 0 is the
// largest.
int OsdLineHeight(const OsdRect& screen, uint32_t heightStep);

// Distance from the screen edges: screen height / (4 x step), or a fortieth
// of the height for step 0; never more than an eighth.
int OsdMargin(const OsdRect& screen, uint32_t marginStep);

// Bar length: percent of the screen width, 5 to 100 (0 means 30).
int OsdBarLength(const OsdRect& screen, uint32_t percent);

// Kinds 0..8 in reading order: row = kind / 3 (top, middle, bottom), column
// = kind % 3 (left, centre, right). The box is kept on the screen.
OsdRect PlaceInGrid(const OsdRect& screen, uint32_t kind, int margin, int width, int height);

// Segments a bar is drawn with: at least 1, and no more than fit length
// pixels with each at least 3 wide.
uint32_t UsableSegments(uint32_t segments, int length);

// How many of segments are lit for value of max, rounded to the nearest.
uint32_t LitSegments(uint32_t max, uint32_t value, uint32_t segments);
