// Stand-in of the TV status library that the Brivue TV application installs
// in its folder. It answers what KOVA_BVBOOTCK_STATUS says (read at each
// call; 0, the TV can be used, when unset) and journals each call:
//   BvBootCk.dll BvBtCkGetTVStatus arg=-1 status=0

#include <windows.h>

#include "companions/journal/journal.h"

extern "C" int WINAPI BvBtCkGetTVStatus(int arg)
{
    int status = static_cast<int>(EnvNumber("KOVA_BVBOOTCK_STATUS", 0));
    JournalLine("BvBootCk.dll", "BvBtCkGetTVStatus", "arg=%d status=%d", arg, status);
    return status;
}
