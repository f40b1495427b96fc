#pragma once
// Classifies the Windows version the way every threshold in the program
// expects (above 14 means Windows 8 or later). No Windows headers.

#include <cstdint>

constexpr uint32_t OS_CLASS_VISTA = 11;
constexpr uint32_t OS_CLASS_WIN7 = 13;
constexpr uint32_t OS_CLASS_WIN8 = 15;
constexpr uint32_t OS_CLASS_LATER = 100;

// build: only its low 16 bits count, compared unsigned.
uint32_t ClassifyOsVersion(uint32_t major, uint32_t minor, uint32_t build);
