#pragma once
// CKeyTestCtrl: the key controller of a machine without settings, used to
// check a receiver and its remote. Instead of acting on the buttons it shows
// the name of every button pressed on screen; the volume and mute keys keep
// working through the mixer, and the keyboard report drives the numeric
// code entry.

#include "keys/key_ctrl.h"

#include <cstddef>
#include <cstdint>

class COsdControl;

// A button name holds at most this many characters.
constexpr size_t BUTTON_NAME_MAX = 127;

// The name of button `code` of a key group from the string table of module
// (the button names of resources/button_names.rc), as the test-mode
// controller shows it; its length, 0 when the button has no name.
size_t LoadButtonName(HINSTANCE module, KeyHandler group, uint16_t code, char (&name)[BUTTON_NAME_MAX + 1]);

class CKeyTestCtrl : public CKeyCtrl {
public:
    explicit CKeyTestCtrl(CTrayControl* tray);
    ~CKeyTestCtrl() override;

    void LaunchWakeButton(uint8_t code, uint8_t origin) override;
    void OnWakeEvent(uint8_t kind, uint16_t code, uint8_t flag) override;
    void FinishNumericEntry(uint32_t result) override;
    void OnRemoteButton(uint16_t code, uint32_t state, uint32_t deviceFlags) override;
    void OnConsumerKey(uint16_t usage, uint32_t state) override;
    void OnFunctionKey(uint16_t code, uint32_t state) override;
    void OnApplicationKey(uint16_t bit, uint32_t state) override;
    void OnDigitKey(uint16_t bit, uint32_t state) override;
    void OnModeKey(uint16_t code, uint32_t state) override;
    void OnMediaCenterKey(uint16_t code, uint32_t state) override;
    void OnExtraKey(uint16_t code, uint32_t state) override;
    void OnExtraKey2(uint16_t code, uint32_t state) override;
    void OnReport(const uint8_t* report, uint32_t length) override;
    void OnPanelKey(uint16_t code, uint32_t state) override;
    void OnPanelKey2(uint16_t code, uint32_t state) override;
    void OnEffectKey(uint32_t pressed, uint32_t state) override;
    void OnDataKey(uint16_t code, uint32_t state) override;
    void OnValueKey(uint16_t kind, uint16_t value, uint32_t state) override;

    // The name of button `code` of a key group from the program's string
    // table, into name (BUTTON_NAME_MAX characters at most, always ended);
    // its length, 0 when the button has no name.
    size_t ShowButtonName(KeyHandler group, uint16_t code, char (&name)[BUTTON_NAME_MAX + 1]) const;

    COsdControl* Osd = nullptr;

private:
    // Shows the button's name on a press; releases and nameless buttons
    // show nothing.
    void ShowName(KeyHandler group, uint16_t code, uint32_t state);
    void Show(const char* text);
    // The entry key a keyboard report stands for; 0 when it is none.
    uint16_t KeyboardEntryKey() const;
};
