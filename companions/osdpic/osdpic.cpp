// Our picture library: the volume and mute pictures with their bars.

#include <windows.h>

#include "companions/osdview/osd_call.h"

namespace {
constexpr char LIB[] = "OSDPIC.dll";
}

extern "C" BOOL WINAPI OnScreen_Image(OsdRecord* record)
{
    return HandleOsdCall(LIB, "OnScreen_Image", record);
}

extern "C" BOOL WINAPI OnScreen_ImageA(OsdRecord* record)
{
    return HandleOsdCall(LIB, "OnScreen_ImageA", record);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    return OsdLibraryMain(instance, reason, "OSDPIC");
}
