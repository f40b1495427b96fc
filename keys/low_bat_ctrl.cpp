#include "keys/low_bat_ctrl.h"

#include "base/export_binder.h"
#include "base/scoped.h"

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
    ScopedModule library(LoadLibraryA("cellwarn.dll"));
    auto notify = GetExport<DeviceLowBatFn>(library.get(), "DeviceLowBat");
    if (!notify) {
        return;
    }
    // Shared by every notifier; the last one frees it.
    BatteryLibrary = library.release();
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
