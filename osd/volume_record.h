#pragma once
// The volume state the volume controller asks the display to show.

#include <cstdint>

constexpr uint32_t VOLUME_KIND_PLAIN = 0;  // a plain bar through the text library
constexpr uint32_t VOLUME_KIND_BAR = 2;    // the volume picture
constexpr uint32_t VOLUME_KIND_MUTE = 3;   // the mute picture

struct VolumeRecord {
    uint32_t Kind;
    uint32_t Step;       // current step
    uint32_t StepCount;  // number of steps
    uint32_t Muted;
};

static_assert(sizeof(VolumeRecord) == 16);
