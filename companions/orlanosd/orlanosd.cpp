// Our text library: texts and plain bars on the screen, for kova and for any
// program that calls it the same way.

#include <windows.h>

#include "companions/osdview/osd_call.h"

namespace {
constexpr char LIB[] = "orlanosd.dll";
}

extern "C" BOOL WINAPI OnScreen_Display(OsdRecord* record)
{
    return HandleOsdCall(LIB, "OnScreen_Display", record);
}

extern "C" BOOL WINAPI OnScreen_DisplayA(OsdRecord* record)
{
    return HandleOsdCall(LIB, "OnScreen_DisplayA", record);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    return OsdLibraryMain(instance, reason, "orlanosd");
}
