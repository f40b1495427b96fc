#pragma once
// Feature reports of the receiver. Every write goes to the collection on
// which a feature report was last read, whatever the write is about.

#include <windows.h>

#include "hid/hid_device_info.h"

#include <cstdint>
#include <memory>

// The handle of the most recent feature read; null before the first. Never
// reset, also not when that collection is closed (writes then simply fail).
extern HANDLE LastFeatureHandle;

// HidD_GetFeature on handle; remembers the handle first.
BOOL ReadFeature(HANDLE handle, void* buffer, uint32_t length);
// HidD_SetFeature on LastFeatureHandle; FALSE before any read.
BOOL WriteFeature(void* buffer, uint32_t length);

// The wake reply to the input report now in device's input buffer, sized to
// its feature report. FALSE when it cannot be built or the write failed.
BOOL SendWakeReply(const HidDeviceInfo& device);
// Launch handshake: writes report 2 (8 bytes), then reads it back; the
// receiver's state byte goes to *state. FALSE when either step failed.
BOOL SendLaunchHandshake(uint8_t* state);
// The TV-ready notice (report 2, 9 bytes).
BOOL SendTvReady();

// A zeroed buffer of a feature report's length (at least one byte); null when
// memory is short, which the callers answer as a status of their own.
std::unique_ptr<uint8_t[]> NewFeatureBuffer(uint32_t length);
