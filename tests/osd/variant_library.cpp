// Display libraries with only some of the exports, for the tests of how kova
// picks them: built twice, once with only the plain exports and once with
// only the "A" ones (see the .def files). Copied into a test's Program Files
// under the real names.

#include <windows.h>

#include "companions/osdview/osd_call.h"

extern "C" BOOL WINAPI OnScreen_Display(OsdRecord* record)
{
    return HandleOsdCall("orlanosd.dll", "OnScreen_Display", record);
}

extern "C" BOOL WINAPI OnScreen_DisplayA(OsdRecord* record)
{
    return HandleOsdCall("orlanosd.dll", "OnScreen_DisplayA", record);
}

extern "C" BOOL WINAPI OnScreen_Image(OsdRecord* record)
{
    return HandleOsdCall("OSDPIC.dll", "OnScreen_Image", record);
}

extern "C" BOOL WINAPI OnScreen_ImageA(OsdRecord* record)
{
    return HandleOsdCall("OSDPIC.dll", "OnScreen_ImageA", record);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    return OsdLibraryMain(instance, reason, "variant");
}
