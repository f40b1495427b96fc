#pragma once
// CLowBatCtrl: forwards the receiver's battery warnings to cellwarn.dll.
// All instances share one binding, made by the first and released by the last.

#include "config/config.h"

#include <cstdint>

// Warning numbers passed to the library, from the bits of a report's code word.
constexpr uint32_t BATTERY_WARNING_BIT15 = 0;
constexpr uint32_t BATTERY_WARNING_BIT14 = 1;

class CLowBatCtrl : public CConfig {
public:
    CLowBatCtrl();
    ~CLowBatCtrl() override;

    void NotifyBatteryLow(uint32_t which);

    static bool IsBound() { return BatteryLibraryBound; }

private:
    using DeviceLowBatFn = int(WINAPI*)(uint32_t which);

    static LONG BatteryNotifierCount;
    static bool BatteryLibraryBound;
    static HMODULE BatteryLibrary;
    static DeviceLowBatFn DeviceLowBat;
};
