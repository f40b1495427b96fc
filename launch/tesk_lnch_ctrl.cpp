#include "launch/tesk_lnch_ctrl.h"

#include "base/app_context.h"
#include "config/regs.h"
#include "osd/osd_control.h"

#include <cstdio>
#include <cstring>

namespace {

// A button's codes: the key's own code, or its bit of the bit report.
struct ButtonCodes {
    uint32_t Code;
    uint32_t Bit;
};
constexpr ButtonCodes BUTTON_CODES[ONE_TOUCH_BUTTON_COUNT] = {
    {104, 256}, {105, 512}, {106, 1024}, {107, 2048}, {108, 4096},
};

constexpr uint32_t BUTTON_NONE = 0xFFFFFFFF;
constexpr uint32_t BUTTON_INDEX_LIMIT = 20;

// Information icon and an OK button.
constexpr UINT NOTICE_TYPE = MB_OK | MB_ICONASTERISK;

constexpr size_t VALUE_NAME_SIZE = 32;
constexpr size_t KEY_NAME_SIZE = 128;

uint32_t ButtonOfCode(uint32_t code)
{
    for (uint32_t i = 0; i < ONE_TOUCH_BUTTON_COUNT; ++i) {
        if (code == BUTTON_CODES[i].Code || code == BUTTON_CODES[i].Bit) {
            return i;
        }
    }
    return BUTTON_NONE;
}

// The button's key of set (0: the machine's default set).
LONG OpenButtonKey(CRegs& regs, uint32_t set, uint32_t index)
{
    char key[KEY_NAME_SIZE];
    if (set != 0) {
        std::snprintf(key, sizeof(key), "%s%u\\%s%u", ONE_TOUCH_USER_SET_PREFIX, set, ONE_TOUCH_BUTTON_KEY_PREFIX,
                      index + 1);
        return regs.Open(HKEY_CURRENT_USER, key, KEY_READ);
    }
    std::snprintf(key, sizeof(key), "%s\\%s%u", ONE_TOUCH_DEFAULT_SET_KEY, ONE_TOUCH_BUTTON_KEY_PREFIX, index + 1);
    return regs.Open(HKEY_LOCAL_MACHINE, key, KEY_READ);
}

}  // namespace

void CTeskLnchCtrl::LaunchButton(uint32_t code, uint8_t)
{
    const uint32_t index = ButtonOfCode(code);
    if (index == BUTTON_NONE) {
        return;
    }
    if (!LoadOneTouchProfile(index)) {
        const RemoteTexts& texts = GetRemoteTexts();
        ShowAppMessageBox(nullptr, texts.NoAppMessage, texts.Kova_Title, NOTICE_TYPE, MSGBOX_SLOT_ONE_TOUCH);
        return;
    }
    if (Osd()) {
        Osd()->ShowText(ProfileName, FALSE);
    }
    ExecuteLaunchRequest();
}

uint32_t CTeskLnchCtrl::GetCurrentSet()
{
    CRegs regs;
    if (regs.Open(HKEY_CURRENT_USER, ONE_TOUCH_USER_KEY, KEY_READ) != ERROR_SUCCESS) {
        return 0;
    }
    uint32_t set = 0;
    if (regs.QueryDword("CurrSetting", &set) != ERROR_SUCCESS) {
        set = 0;
    }
    regs.Close();
    return set;
}

BOOL CTeskLnchCtrl::LoadOneTouchProfile(uint32_t index)
{
    std::memset(&Request, 0, sizeof(Request));
    Request.ButtonIndex = index;
    Request.Count = 0;
    if (index >= BUTTON_INDEX_LIMIT) {
        return FALSE;
    }
    CRegs regs;
    if (OpenButtonKey(regs, GetCurrentSet(), index) != ERROR_SUCCESS) {
        return FALSE;
    }
    char text[REGS_WORK_BUFFER];
    uint32_t count = 0;
    bool usable = ReadProfileText(regs, "DispTitle", text);
    if (usable) {
        CopyCutWhole(ProfileName, sizeof(ProfileName), text);
        // More entries than a request holds are refused, as for the remote's
        // profiles.
        usable = regs.QueryDword("NumAP", &count) == ERROR_SUCCESS && count >= 1 && count <= LAUNCH_ENTRY_MAX;
    }
    if (usable) {
        Request.Count = static_cast<int32_t>(count);
        usable = ReadProfileText(regs, "Execute", text) && (Request.Mode = ModeOfLetter(text)) != 0;
    }
    for (int i = 0; usable && i < Request.Count; ++i) {
        char name[VALUE_NAME_SIZE];
        std::snprintf(name, sizeof(name), "Btn%u_AP%d", index + 1, i + 1);
        usable = ReadProfileText(regs, name, text) && text[0] && SetRequestEntry(i, text);
        // One folder for every entry of the button.
        if (usable && Request.Mode != LAUNCH_MODE_KEYS && ReadProfileText(regs, "Work", text)) {
            SetRequestWorkDir(i, text);
        }
    }
    regs.Close();
    return usable ? TRUE : FALSE;
}
