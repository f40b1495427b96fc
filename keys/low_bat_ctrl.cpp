#include "keys/low_bat_ctrl.h"

LONG CLowBatCtrl::BatteryNotifierCount = 0;
bool CLowBatCtrl::BatteryLibraryBound = false;
HMODULE CLowBatCtrl::BatteryLibrary = nullptr;
CLowBatCtrl::DeviceLowBatFn CLowBatCtrl::DeviceLowBat = nullptr;

CLowBatCtrl::CLowBatCtrl()
{
    ++BatteryNotifierCount;
    if (BatteryLibraryBound) {
        return;
    }
    // Found by name in the standard search order: next to kova.exe first.
    HMODULE library = LoadLibraryA("cellwarn.dll");
    if (!library) {
        return;
    }
    auto notify = reinterpret_cast<DeviceLowBatFn>(reinterpret_cast<void*>(GetProcAddress(library, "DeviceLowBat")));
    if (!notify) {
        FreeLibrary(library);
        return;
    }
    BatteryLibrary = library;
    DeviceLowBat = notify;
    BatteryLibraryBound = true;
}

CLowBatCtrl::~CLowBatCtrl()
{
    if (--BatteryNotifierCount == 0 && BatteryLibraryBound) {
        FreeLibrary(BatteryLibrary);
        BatteryLibrary = nullptr;
        BatteryLibraryBound = false;
    }
}

void CLowBatCtrl::NotifyBatteryLow(uint32_t which)
{
    // DeviceLowBat keeps its old address after the library is freed: only
    // the bound flag says it may be called.
    if (BatteryLibraryBound && DeviceLowBat) {
        DeviceLowBat(which);
    }
}
