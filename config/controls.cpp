#include "config/controls.h"

#include "config/read_log.h"
#include "config/regs.h"

#include <cstddef>

namespace {

struct ControlValue {
    const char* name;
    uint32_t ControlSettings::*field;
    uint32_t defaultValue;
};

// Times are in milliseconds.
constexpr ControlValue CONTROL_VALUES[] = {
    {"Tesk_Enable", &ControlSettings::Tesk_Enable, 0},
    {"Fmode", &ControlSettings::Fmode, 6},
    {"Icon", &ControlSettings::Icon, 0},
    {"ApResume", &ControlSettings::ApResume, 1},
    {"Player_Lnc", &ControlSettings::Player_Lnc, 0},
    {"Util_Enable", &ControlSettings::Util_Enable, 0},
    {"Help_Enable", &ControlSettings::Help_Enable, 0},
    {"Exit_Enable", &ControlSettings::Exit_Enable, 0},
    {"Tip_Enable", &ControlSettings::Tip_Enable, 0},
    {"IME_Disable", &ControlSettings::IME_Disable, 1},
    {"NumCode_Enable", &ControlSettings::NumCode_Enable, 0},
    {"Vk_ApFore", &ControlSettings::Vk_ApFore, 0x87},
    {"Test_Mode", &ControlSettings::Test_Mode, 1},
    {"BSFlags", &ControlSettings::BSFlags, 0},
    {"DTFlags", &ControlSettings::DTFlags, 0},
    {"RetryGetFeature", &ControlSettings::RetryGetFeature, 5},
    {"TimerGetFeatureSleep", &ControlSettings::TimerGetFeatureSleep, 2000},
    {"RetryStartBV", &ControlSettings::RetryStartBV, 3},
    {"TimerStartBV", &ControlSettings::TimerStartBV, 60000},
    {"RetryDirectBoot", &ControlSettings::RetryDirectBoot, 3},
    {"TimerDirectBoot", &ControlSettings::TimerDirectBoot, 3000},
    {"RFSupportFlags", &ControlSettings::RFSupportFlags, 0},
    {"MsgBox_Disable", &ControlSettings::MsgBox_Disable, 0},
    {"MagicKey_SendSighInUser", &ControlSettings::MagicKey_SendSighInUser, 0},
};

static_assert(sizeof(CONTROL_VALUES) / sizeof(CONTROL_VALUES[0]) == sizeof(ControlSettings) / sizeof(uint32_t),
              "every Controls field has its value name and default");

// Icon sets 1 and 2 exist; anything else means no icons.
constexpr uint32_t ICON_SET_MAX = 2;

}  // namespace

ControlSettings DefaultControlSettings()
{
    ControlSettings settings{};
    for (const ControlValue& value : CONTROL_VALUES) {
        settings.*value.field = value.defaultValue;
    }
    return settings;
}

void LoadControlSettings(ControlSettings& out)
{
    out = DefaultControlSettings();
    CRegs regs;
    if (regs.Open(HKEY_LOCAL_MACHINE, CONTROLS_KEY, KEY_READ) != ERROR_SUCCESS) {
        return;
    }
    for (const ControlValue& value : CONTROL_VALUES) {
        uint32_t number = 0;
        if (regs.QueryDword(value.name, &number) == ERROR_SUCCESS) {
            out.*value.field = number;
        }
    }
    regs.Close();
    if (out.Icon > ICON_SET_MAX) {
        LogOutOfRange(HKEY_LOCAL_MACHINE, CONTROLS_KEY, "Icon", out.Icon, "0 to 2 (above reads as 0)");
        out.Icon = 0;
    }
}

std::vector<NamedNumber> NamedControlSettings(const ControlSettings& settings)
{
    std::vector<NamedNumber> named;
    for (const ControlValue& value : CONTROL_VALUES) {
        named.push_back({value.name, settings.*value.field});
    }
    return named;
}

uint32_t ReadLaunchDelay()
{
    CRegs regs;
    if (regs.Open(HKEY_LOCAL_MACHINE, CONTROLS_KEY, KEY_READ) != ERROR_SUCCESS) {
        return 0;
    }
    uint32_t delay = 0;
    if (regs.QueryDword("LaunchDelay", &delay) != ERROR_SUCCESS) {
        delay = 0;
    }
    regs.Close();
    return delay;
}
