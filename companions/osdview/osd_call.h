#pragma once
// The body of every export of our display libraries: check the record,
// journal the call, hand the request to the library's display thread.

#include <windows.h>

#include "osd/osd_record.h"

// TRUE when the request was taken (shown, or a display time of 0 that clears
// the screen); FALSE when it was refused.
BOOL HandleOsdCall(const char* library, const char* exportName, const OsdRecord* record);

// DllMain of both libraries.
BOOL OsdLibraryMain(HINSTANCE instance, DWORD reason, const char* classSuffix);
