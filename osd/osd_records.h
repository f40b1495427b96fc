#pragma once
// How kova fills the display libraries' request record from the user's
// on-screen settings: texts, bars and pictures.

#include <windows.h>

#include "config/onscreen_settings.h"
#include "osd/osd_record.h"

#include <cstddef>
#include <cstdint>

constexpr uint32_t OSD_TIME_UNIT_MS = 500;    // one step of the Time setting
constexpr uint32_t OSD_REPEAT_TIME_MS = 300;  // displays refreshed while a volume button is held
constexpr uint32_t OSD_SIZE_STEPS = 30;       // text height step = 30 / Size
constexpr uint32_t OSD_BAR_HEIGHT = 10;
constexpr uint32_t OSD_BAR_LENGTH = 30;
constexpr uint32_t MIXER_VOLUME_MAX = 65535;
constexpr uint32_t MIXER_VOLUME_SEGMENTS = 25;
constexpr char OSD_SYMBOL_FACE[] = "Webdings";

// Longest text handed on; longer texts are cut on a character boundary.
constexpr size_t OSD_TEXT_MAX = 520;

// DEFAULT_CHARSET when every character is half-width and not katakana, else
// SHIFTJIS_CHARSET.
BYTE ChooseOsdCharset(const char* text);

// The display kind a client request asks for with its flags: row from bits
// 0x1/0x2, column from bits 0x10/0x20.
uint32_t ClientRequestKind(uint32_t flags);

// Copies text into dst (size bytes), cut before a character that would not
// fit whole; always terminated.
void CopyTextWhole(char* dst, size_t size, const char* text);

// A text request. The record points at text, which must outlive the call.
void FillTextRecord(OsdRecord& record, const OnScreenSettings& settings, const char* text, BOOL symbolFont,
                    uint32_t kind);

struct BarValues {
    uint32_t Max;
    uint32_t Value;
    uint32_t Segments;
};

// A mixer volume (0..65535).
BarValues MixerBarValues(uint32_t level);
// An endpoint volume: step of stepCount steps.
BarValues EndpointBarValues(uint32_t step, uint32_t stepCount);

// A bar or picture request; repeat shortens the display time.
void FillBarRecord(OsdRecord& record, const OnScreenSettings& settings, uint32_t picture, const BarValues& bar,
                   BOOL repeat);
