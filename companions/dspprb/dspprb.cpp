// Stand-in of the display-probe library. What it answers is set in the
// environment of the process that loads it:
//   KOVA_DSPPRB_INIT  result of DSPPRB_Initialize (default 0; negative fails)
//   KOVA_DSPPRB_MODE  mode DSPPRB_GetDisplayMode reports (default 1, desktop)

#include <windows.h>

#include "companions/journal/journal.h"

#include <cstdint>

namespace {
constexpr char LIB[] = "DSPPRB.dll";
}

extern "C" LONG WINAPI DSPPRB_Initialize()
{
    LONG result = EnvNumber("KOVA_DSPPRB_INIT", 0);
    JournalLine(LIB, "DSPPRB_Initialize", "-> %ld", result);
    return result;
}

extern "C" LONG WINAPI DSPPRB_Finalize()
{
    JournalLine(LIB, "DSPPRB_Finalize", nullptr);
    return 0;
}

extern "C" LONG WINAPI DSPPRB_GetDisplayMode(uint32_t* mode)
{
    uint32_t value = static_cast<uint32_t>(EnvNumber("KOVA_DSPPRB_MODE", 1));
    JournalLine(LIB, "DSPPRB_GetDisplayMode", "mode=%u", value);
    if (!mode) {
        return -1;
    }
    *mode = value;
    return 0;
}
