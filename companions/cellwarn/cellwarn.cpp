// Stand-in of the low-battery library: records each warning in the journal.

#include <windows.h>

#include "companions/journal/journal.h"

#include <cstdint>

extern "C" int WINAPI DeviceLowBat(uint32_t which)
{
    JournalLine("cellwarn.dll", "DeviceLowBat", "which=%u", which);
    return 0;
}
