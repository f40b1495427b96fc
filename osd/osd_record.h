#pragma once
// The request record kova hands to the display libraries, one pointer per
// call. kova fills it (osd/osd_records.h); our own display libraries in
// companions/ read it. Plain data only, so both sides can include it.

#include <windows.h>

#include <cstddef>
#include <cstdint>

constexpr uint32_t OSD_RECORD_SIZE = 120;

// Type: what the record asks for.
constexpr uint32_t OSD_TYPE_TEXT = 0;
constexpr uint32_t OSD_TYPE_BAR = 1;

// Picture of a bar request.
constexpr uint32_t OSD_PICTURE_NONE = 0;  // a plain bar
constexpr uint32_t OSD_PICTURE_VOLUME = 2;
constexpr uint32_t OSD_PICTURE_MUTE = 3;

// Display kinds: a 3 x 3 grid on the primary monitor, in reading order
// (0 top left ... 8 bottom right; see docs/osd.md).
constexpr uint32_t OSD_KIND_COUNT = 9;
constexpr uint32_t OSD_KIND_TEXT = 2;  // top right
constexpr uint32_t OSD_KIND_BAR = 6;   // bottom left

struct OsdRecord {
    uint32_t Size;        // OSD_RECORD_SIZE
    uint32_t Type;        // OSD_TYPE_TEXT or OSD_TYPE_BAR
    uint32_t Picture;     // bar requests: OSD_PICTURE_*
    uint32_t Color;       // COLORREF of the text or the lit segments
    uint32_t Kind;        // display kind 0..8
    uint32_t TimeMs;      // how long the display stays
    uint32_t Height;      // height step: a line is screen height / (2 x Height)
    uint32_t Margin;      // distance step from the screen edge; 0 = the library's own
    LOGFONTA Font;        // text requests: charset and face; the rest 0
    uint32_t Reserved;    // 0
    const char* Text;     // text requests: ANSI, NUL-terminated; bar requests: null
    uint32_t BarMax;      // bar requests: the value of a full bar
    uint32_t BarValue;    // bar requests: the current value
    uint32_t BarSegments; // bar requests: number of segments
    uint32_t BarLength;   // bar requests: bar length in percent of the screen width
};

// The libraries of other makers read this layout byte by byte.
static_assert(sizeof(LOGFONTA) == 60);
static_assert(sizeof(void*) == 8, "the record carries a 64-bit text pointer");
static_assert(sizeof(OsdRecord) == OSD_RECORD_SIZE);
static_assert(offsetof(OsdRecord, Size) == 0);
static_assert(offsetof(OsdRecord, Type) == 4);
static_assert(offsetof(OsdRecord, Picture) == 8);
static_assert(offsetof(OsdRecord, Color) == 12);
static_assert(offsetof(OsdRecord, Kind) == 16);
static_assert(offsetof(OsdRecord, TimeMs) == 20);
static_assert(offsetof(OsdRecord, Height) == 24);
static_assert(offsetof(OsdRecord, Margin) == 28);
static_assert(offsetof(OsdRecord, Font) == 32);
static_assert(offsetof(OsdRecord, Reserved) == 92);
static_assert(offsetof(OsdRecord, Text) == 96);
static_assert(offsetof(OsdRecord, BarMax) == 104);
static_assert(offsetof(OsdRecord, BarValue) == 108);
static_assert(offsetof(OsdRecord, BarSegments) == 112);
static_assert(offsetof(OsdRecord, BarLength) == 116);

// The exports of the display libraries; their results are not used.
using OsdDisplayFunction = BOOL(WINAPI*)(OsdRecord*);
constexpr char OSD_TEXT_LIBRARY[] = "orlanosd.dll";
constexpr char OSD_TEXT_EXPORT[] = "OnScreen_Display";
constexpr char OSD_TEXT_EXPORT_A[] = "OnScreen_DisplayA";
constexpr char OSD_IMAGE_LIBRARY[] = "OSDPIC.dll";
constexpr char OSD_IMAGE_EXPORT[] = "OnScreen_Image";
constexpr char OSD_IMAGE_EXPORT_A[] = "OnScreen_ImageA";

// Display windows are found by this class-name prefix (first four characters
// of "Afx:10000000:208"), and ended early by WM_TIMER with this id.
constexpr char OSD_WINDOW_CLASS_PREFIX[] = "Afx:";
constexpr UINT_PTR OSD_HIDE_TIMER_ID = 100;
