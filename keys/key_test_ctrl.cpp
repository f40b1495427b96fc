#include "keys/key_test_ctrl.h"

#include "audio/vol_ctrl.h"
#include "base/app_context.h"
#include "osd/osd_control.h"
#include "resources/resource.h"

#include <cstdio>
#include <new>

namespace {

constexpr uint32_t PRESSED = 1;

// The wake buttons 104 to 116 are shown as the function keys F13 to F25.
constexpr uint8_t FIRST_WAKE_KEY = 104;
constexpr uint8_t LAST_WAKE_KEY = 116;
constexpr int WAKE_KEY_TO_FUNCTION_KEY = 91;

// What the radio receiver's wake event stands for.
constexpr uint8_t WAKE_KIND_MEDIA_CENTER = 3;
constexpr uint8_t WAKE_KIND_EXTRA = 4;
constexpr uint16_t WAKE_MEDIA_CENTER_START = 71;
constexpr uint16_t WAKE_EXTRA_TVA = 96;
constexpr uint16_t WAKE_EXTRA_DVD = 97;
constexpr uint16_t WAKE_EXTRA_TV = 105;
constexpr uint8_t WAKE_BUTTON_MEDIA_CENTER = 108;
constexpr uint8_t WAKE_BUTTON_DVD = 110;
constexpr uint8_t WAKE_BUTTON_TVA = 113;
constexpr uint8_t WAKE_BUTTON_TV = 114;

constexpr uint16_t MUTE_USAGE = 226;
// Function codes below this are the colour keys.
constexpr uint16_t COLOUR_KEY_LIMIT = 15;

// Keyboard report fields that stand for keys of the numeric entry.
constexpr uint16_t KEYBOARD_DIGIT_ZERO = 62;
constexpr uint16_t KEYBOARD_DIGIT_REPEAT = 63;
constexpr uint16_t KEYBOARD_ENTRY_START_SINGLE = 156;   // ChInc
constexpr uint16_t KEYBOARD_ENTRY_FINISH_SINGLE = 157;  // ChDec
constexpr uint16_t KEYBOARD_ENTRY_START_PAIR = 179;     // FW
constexpr uint16_t KEYBOARD_ENTRY_FINISH_PAIR = 180;    // RW
constexpr uint8_t KEYBOARD_REPORT_ID = 3;

// The first string id of each group's names; 0 for a group without names.
UINT NameBase(KeyHandler group)
{
    switch (group) {
    case KeyHandler::RemoteButton: return IDS_REMOTE_BUTTON_NAMES;
    case KeyHandler::ConsumerKey: return IDS_CONSUMER_KEY_NAMES;
    case KeyHandler::FunctionKey: return IDS_FUNCTION_KEY_NAMES;
    case KeyHandler::ApplicationKey: return IDS_APPLICATION_KEY_NAMES;
    case KeyHandler::DigitKey: return IDS_DIGIT_KEY_NAMES;
    case KeyHandler::ModeKey: return IDS_MODE_KEY_NAMES;
    case KeyHandler::MediaCenterKey: return IDS_MEDIA_CENTER_KEY_NAMES;
    case KeyHandler::ExtraKey: return IDS_EXTRA_KEY_NAMES;
    case KeyHandler::ExtraKey2: return IDS_EXTRA_KEY2_NAMES;
    default: return 0;
    }
}

// Each group's codes stay below the next group's first id.
constexpr uint16_t NAMES_PER_GROUP = 1000;

// The colour keys are told apart by bit tests, the first that matches wins.
UINT ColourName(uint16_t code)
{
    if (code & 0x5B) {
        return IDS_COLOUR_RED;
    }
    if (code & 0x5E) {
        return IDS_COLOUR_BLUE;
    }
    if (code & 0x5D) {
        return IDS_COLOUR_YELLOW;
    }
    if (code & 0x5C) {
        return IDS_COLOUR_GREEN;
    }
    return 0;
}

// The digit keys of the keyboard report are one bit each, 1 to 9.
uint16_t DigitBitEntryKey(uint16_t digits)
{
    for (uint16_t n = 1; n <= 9; ++n) {
        if (digits == (1u << (n - 1))) {
            return static_cast<uint16_t>(ENTRY_DIGIT_0 + n);
        }
    }
    return 0;
}

}  // namespace

CKeyTestCtrl::CKeyTestCtrl(CTrayControl* tray) : CKeyCtrl(tray)
{
    Osd = new (std::nothrow) COsdControl();
}

CKeyTestCtrl::~CKeyTestCtrl()
{
    delete Osd;
    Osd = nullptr;
}

size_t CKeyTestCtrl::ShowButtonName(KeyHandler group, uint16_t code, char (&name)[BUTTON_NAME_MAX + 1]) const
{
    HINSTANCE module = GetAppInstance() ? GetAppInstance() : GetModuleHandleA(nullptr);
    return LoadButtonName(module, group, code, name);
}

size_t LoadButtonName(HINSTANCE module, KeyHandler group, uint16_t code, char (&name)[BUTTON_NAME_MAX + 1])
{
    name[0] = '\0';
    UINT id = 0;
    if (group == KeyHandler::FunctionKey && code != 0 && code < COLOUR_KEY_LIMIT) {
        id = ColourName(code);
    } else if (NameBase(group) != 0 && code != 0 && code < NAMES_PER_GROUP) {
        id = NameBase(group) + code;
    }
    if (id == 0) {
        return 0;
    }
    int length = LoadStringA(module, id, name, static_cast<int>(sizeof(name)));
    if (length <= 0) {
        name[0] = '\0';
        return 0;
    }
    return static_cast<size_t>(length);
}

void CKeyTestCtrl::Show(const char* text)
{
    if (Osd) {
        Osd->ShowText(text, FALSE);
    }
}

void CKeyTestCtrl::ShowName(KeyHandler group, uint16_t code, uint32_t state)
{
    char name[BUTTON_NAME_MAX + 1];
    if (state == PRESSED && ShowButtonName(group, code, name) != 0) {
        Show(name);
    }
}

void CKeyTestCtrl::LaunchWakeButton(uint8_t code, uint8_t)
{
    if (code < FIRST_WAKE_KEY || code > LAST_WAKE_KEY) {
        return;
    }
    char text[8];
    std::snprintf(text, sizeof(text), "F%d", code - WAKE_KEY_TO_FUNCTION_KEY);
    Show(text);
}

void CKeyTestCtrl::OnWakeEvent(uint8_t kind, uint16_t code, uint8_t)
{
    // Test mode starts nothing, so where the wake came from does not matter.
    if (kind == WAKE_KIND_MEDIA_CENTER && code == WAKE_MEDIA_CENTER_START) {
        LaunchWakeButton(WAKE_BUTTON_MEDIA_CENTER, 0);
    } else if (kind == WAKE_KIND_EXTRA) {
        switch (code) {
        case WAKE_EXTRA_TVA: LaunchWakeButton(WAKE_BUTTON_TVA, 0); break;
        case WAKE_EXTRA_DVD: LaunchWakeButton(WAKE_BUTTON_DVD, 0); break;
        case WAKE_EXTRA_TV: LaunchWakeButton(WAKE_BUTTON_TV, 0); break;
        default: break;
        }
    }
}

void CKeyTestCtrl::FinishNumericEntry(uint32_t result)
{
    DeliverNumericEntry(result);
}

void CKeyTestCtrl::OnRemoteButton(uint16_t code, uint32_t state, uint32_t)
{
    if (code == REMOTE_VOLUME_UP || code == REMOTE_VOLUME_DOWN) {
        // The mixer's form on every Windows version: test mode shows what
        // the mixer reads, press and release.
        if (VolumeControl) {
            VolumeControl->OnVolumeKeyLegacy(static_cast<int>(state));
        }
        return;
    }
    ShowName(KeyHandler::RemoteButton, code, state);
}

void CKeyTestCtrl::OnConsumerKey(uint16_t usage, uint32_t state)
{
    if (usage == MUTE_USAGE) {
        if (state == PRESSED && VolumeControl) {
            VolumeControl->OnMuteKeyLegacy(PRESSED);
        }
        return;
    }
    ShowName(KeyHandler::ConsumerKey, usage, state);
}

void CKeyTestCtrl::OnFunctionKey(uint16_t code, uint32_t state) { ShowName(KeyHandler::FunctionKey, code, state); }

void CKeyTestCtrl::OnApplicationKey(uint16_t bit, uint32_t state)
{
    ShowName(KeyHandler::ApplicationKey, bit, state);
}

void CKeyTestCtrl::OnDigitKey(uint16_t bit, uint32_t state) { ShowName(KeyHandler::DigitKey, bit, state); }

void CKeyTestCtrl::OnModeKey(uint16_t code, uint32_t state) { ShowName(KeyHandler::ModeKey, code, state); }

void CKeyTestCtrl::OnMediaCenterKey(uint16_t code, uint32_t state)
{
    ShowName(KeyHandler::MediaCenterKey, code, state);
}

void CKeyTestCtrl::OnExtraKey(uint16_t code, uint32_t state) { ShowName(KeyHandler::ExtraKey, code, state); }

void CKeyTestCtrl::OnExtraKey2(uint16_t code, uint32_t state) { ShowName(KeyHandler::ExtraKey2, code, state); }

uint16_t CKeyTestCtrl::KeyboardEntryKey() const
{
    const KeyboardReportState& keys = Held.LastKeyboardState;
    if (keys.Digits == KEYBOARD_DIGIT_ZERO) {
        return ENTRY_DIGIT_0;
    }
    if (uint16_t digit = DigitBitEntryKey(keys.Digits)) {
        return digit;
    }
    switch (keys.Consumer) {
    case KEYBOARD_ENTRY_START_SINGLE: return ENTRY_START_SINGLE;
    case KEYBOARD_ENTRY_FINISH_SINGLE: return ENTRY_FINISH_SINGLE;
    case KEYBOARD_ENTRY_START_PAIR: return ENTRY_START_PAIR;
    case KEYBOARD_ENTRY_FINISH_PAIR: return ENTRY_FINISH_PAIR;
    default: break;
    }
    if (keys.Digits == KEYBOARD_DIGIT_REPEAT) {
        return ENTRY_REPEAT_DIGIT;
    }
    return 0;
}

void CKeyTestCtrl::OnReport(const uint8_t* report, uint32_t length)
{
    if (!report || length == 0) {
        return;
    }
    if (report[0] != KEYBOARD_REPORT_ID) {
        CancelNumericEntry();
        return;
    }
    // The release that follows every key neither advances nor cancels.
    if (Held.LastKeyboardState.Count == 0) {
        return;
    }
    if (uint16_t key = KeyboardEntryKey()) {
        RunNumericEntryKey(key, TEST_MODE_ENTRY_TIMEOUTS);
    } else {
        CancelNumericEntry();
    }
}

// Test mode has no panel, effect, data or value actions.
void CKeyTestCtrl::OnPanelKey(uint16_t, uint32_t) {}
void CKeyTestCtrl::OnPanelKey2(uint16_t, uint32_t) {}
void CKeyTestCtrl::OnEffectKey(uint32_t, uint32_t) {}
void CKeyTestCtrl::OnDataKey(uint16_t, uint32_t) {}
void CKeyTestCtrl::OnValueKey(uint16_t, uint16_t, uint32_t) {}
