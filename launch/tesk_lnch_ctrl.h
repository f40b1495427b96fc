#pragma once
// CTeskLnchCtrl: the five one-touch start buttons of the keyboard. The user
// keeps numbered sets of button assignments (the current one named in the
// user's registry, the machine's default set otherwise); a press loads the
// button's assignment of that set, shows its title on screen and starts it.
// Main thread only.

#include <windows.h>

#include "launch/lnch_ctrl.h"

#include <cstdint>

constexpr char ONE_TOUCH_USER_KEY[] = "Software\\Orlan\\OrlanTesk";  // HKCU, "CurrSetting"
constexpr char ONE_TOUCH_USER_SET_PREFIX[] = "Software\\Orlan\\OrlanTesk\\Setting\\Set";  // HKCU
constexpr char ONE_TOUCH_DEFAULT_SET_KEY[] = "Software\\Orlan\\OrlanTesk\\Default\\Setting\\Set1";  // HKLM
constexpr char ONE_TOUCH_BUTTON_KEY_PREFIX[] = "AppKey";

constexpr int ONE_TOUCH_BUTTON_COUNT = 5;

class CTeskLnchCtrl : public CLnchCtrl {
public:
    CTeskLnchCtrl() = default;
    ~CTeskLnchCtrl() override = default;

    // Codes 104 to 108 (or their bits 256 to 4096) for buttons 1 to 5; other
    // codes do nothing. origin is not used.
    void LaunchButton(uint32_t code, uint8_t origin) override;

    // The user's current set; 0 (the machine's default set) when none is named.
    static uint32_t GetCurrentSet();
    // Fills Request from the button's key of the current set. FALSE when the
    // assignment cannot be used.
    BOOL LoadOneTouchProfile(uint32_t index);
};
