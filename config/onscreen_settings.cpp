#include "config/onscreen_settings.h"

#include "config/controls.h"
#include "config/read_log.h"
#include "config/regs.h"

namespace {

constexpr uint32_t OSD_TIME_MAX = 100;
constexpr uint32_t OSD_SIZE_MIN = 1;
constexpr uint32_t OSD_SIZE_MAX = 100;

}  // namespace

void ReadOnScreenSettings(HKEY root, const char* subkey, OnScreenSettings& settings)
{
    CRegs regs;
    if (regs.Open(root, subkey, KEY_READ) != ERROR_SUCCESS) {
        return;
    }
    uint32_t value = 0;
    if (regs.QueryDword("Color", &value) == ERROR_SUCCESS) {
        settings.Color = value;
    }
    if (regs.QueryDword("Time", &value) == ERROR_SUCCESS) {
        settings.Time = value <= OSD_TIME_MAX ? value : 3;
        if (value > OSD_TIME_MAX) {
            LogOutOfRange(root, subkey, "Time", value, "0 to 100 (else 3)");
        }
    }
    if (regs.QueryDword("Size", &value) == ERROR_SUCCESS) {
        bool accepted = value >= OSD_SIZE_MIN && value <= OSD_SIZE_MAX;
        settings.Size = accepted ? value : 3;
        if (!accepted) {
            LogOutOfRange(root, subkey, "Size", value, "1 to 100 (else 3)");
        }
    }
    ReadTrimmedText(regs, "FontFace", REGS_WORK_BUFFER, settings.FontFace);
    if (regs.QueryDword("OnScreen", &value) == ERROR_SUCCESS) {
        settings.OnScreen = value;
    }
    regs.Close();
}

void ReadOsdEnable(OnScreenSettings& settings)
{
    CRegs regs;
    if (regs.Open(HKEY_LOCAL_MACHINE, CONTROLS_KEY, KEY_READ) != ERROR_SUCCESS) {
        return;
    }
    uint32_t value = 0;
    if (regs.QueryDword("OSD_Enable", &value) == ERROR_SUCCESS) {
        settings.OnScreen = value;
    }
    regs.Close();
}
