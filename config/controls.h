#pragma once
// The Controls settings: one 32-bit field per value of
// HKLM\Software\Orlan\Kova\Controls, named as the values are.

#include <cstdint>
#include <vector>

struct ControlSettings {
    uint32_t Tesk_Enable;
    uint32_t Fmode;
    uint32_t Icon;
    uint32_t ApResume;
    uint32_t Player_Lnc;
    uint32_t Util_Enable;
    uint32_t Help_Enable;
    uint32_t Exit_Enable;
    uint32_t Tip_Enable;
    uint32_t IME_Disable;
    uint32_t NumCode_Enable;
    uint32_t Vk_ApFore;
    uint32_t Test_Mode;
    uint32_t BSFlags;
    uint32_t DTFlags;
    uint32_t RetryGetFeature;
    uint32_t TimerGetFeatureSleep;
    uint32_t RetryStartBV;
    uint32_t TimerStartBV;
    uint32_t RetryDirectBoot;
    uint32_t TimerDirectBoot;
    uint32_t RFSupportFlags;
    uint32_t MsgBox_Disable;
    uint32_t MagicKey_SendSighInUser;
};

constexpr char CONTROLS_KEY[] = "Software\\Orlan\\Kova\\Controls";

// The built-in defaults, used for every value that cannot be read.
ControlSettings DefaultControlSettings();

// Sets the defaults, then reads every value that is present.
void LoadControlSettings(ControlSettings& out);

// Each value's name and number in effect, in reading order (the inspector's).
struct NamedNumber {
    const char* Name;
    uint32_t Value;
};
std::vector<NamedNumber> NamedControlSettings(const ControlSettings& settings);

// LaunchDelay is read afresh each time it is needed; 0 when unreadable.
uint32_t ReadLaunchDelay();
