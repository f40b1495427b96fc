#pragma once
// The user's on-screen display settings: colour, time, size, font, on/off.
// Three sources, each overriding the one before: built-in defaults, the
// installer's defaults (HKLM), the user's own (HKCU); then OSD_Enable of the
// Controls key replaces the on/off switch.

#include <windows.h>

#include <cstdint>

struct OnScreenSettings {
    uint32_t Color = 0x00FF00;
    uint32_t Time = 3;
    uint32_t Size = 3;
    char FontFace[128] = "\x82\x6c\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4e";  // "ＭＳ ゴシック" (code page 932)
    uint32_t OnScreen = 1;
};

constexpr char ONSCREEN_DEFAULT_KEY[] = "Software\\Orlan\\OrlanTesk\\Default\\OnScreen";  // HKLM
constexpr char ONSCREEN_USER_KEY[] = "Software\\Orlan\\OrlanTesk\\OnScreen";             // HKCU

// Reads Color, Time, Size, FontFace and OnScreen from one key over the
// current values; what is missing or out of range keeps its current value.
void ReadOnScreenSettings(HKEY root, const char* subkey, OnScreenSettings& settings);

// OSD_Enable in the Controls key, when present, replaces OnScreen.
void ReadOsdEnable(OnScreenSettings& settings);
