#pragma once
// CKeyCtrl: turns the receiver's input reports into button presses and
// releases and hands them to its handlers. Abstract: CKeySendCtrl performs
// the configured actions, CKeyTestCtrl shows the name of each button.
//
// The decoding itself lives in keys/report_decoder.h, free of Windows, so it
// can be built natively and fuzzed; this class feeds it the device's report
// and carries out what it decided, in order.

#include "config/config.h"
#include "keys/numeric_entry.h"
#include "keys/report_decoder.h"

#include <cstdint>

class CHidDevice;
class CLowBatCtrl;
class CTrayControl;
class CVolCtrl;

// What the main controller's report gate found, handed down with a report of
// the radio receiver: the key controller keeps no session state of its own.
struct ReportGate {
    bool Away;          // the session is locked or not on the console
    bool MagicKey;      // MagicKey_SendSighInUser is 1
    bool WakeReplyDue;  // display off on a connected-standby system, no reply sent in this period
};

class CKeyCtrl : public CConfig {
public:
    explicit CKeyCtrl(CTrayControl* tray);
    ~CKeyCtrl() override;

    CKeyCtrl(const CKeyCtrl&) = delete;
    CKeyCtrl& operator=(const CKeyCtrl&) = delete;

    // One report of the classic format from the device's input buffer.
    void ProcessReport(CHidDevice* device);
    // One report of the radio-receiver format; true when it answered the
    // receiver's wake question (the caller remembers that for the rest of
    // the display-off period).
    bool ProcessRfReport(CHidDevice* device, const ReportGate& gate);
    // Releases a held radio volume key (its repeat ends with it).
    void StopVolumeRepeat();

    virtual void LaunchWakeButton(uint8_t code, uint8_t origin) = 0;
    virtual void OnWakeEvent(uint8_t kind, uint16_t code, uint8_t flag) = 0;
    virtual void FinishNumericEntry(uint32_t result) = 0;
    virtual void OnRemoteButton(uint16_t code, uint32_t state, uint32_t deviceFlags) = 0;
    virtual void OnConsumerKey(uint16_t usage, uint32_t state) = 0;
    virtual void OnFunctionKey(uint16_t code, uint32_t state) = 0;
    virtual void OnApplicationKey(uint16_t bit, uint32_t state) = 0;
    virtual void OnDigitKey(uint16_t bit, uint32_t state) = 0;
    virtual void OnModeKey(uint16_t code, uint32_t state) = 0;
    virtual void OnMediaCenterKey(uint16_t code, uint32_t state) = 0;
    virtual void OnExtraKey(uint16_t code, uint32_t state) = 0;
    virtual void OnExtraKey2(uint16_t code, uint32_t state) = 0;
    // Every classic report after its decoding; length is what the device
    // delivered (at least 1, byte 0 the report ID).
    virtual void OnReport(const uint8_t* report, uint32_t length) = 0;
    virtual void OnPanelKey(uint16_t code, uint32_t state) = 0;
    virtual void OnPanelKey2(uint16_t code, uint32_t state) = 0;
    virtual void OnEffectKey(uint32_t pressed, uint32_t state) = 0;
    virtual void OnDataKey(uint16_t code, uint32_t state) = 0;
    virtual void OnValueKey(uint16_t kind, uint16_t value, uint32_t state) = 0;

    // The numeric code entry (EntryOne, EntryTwo, DigitsArmed, DigitCount,
    // DigitsEntered, LastDigit, ValueOne, ValueTwo), driven by the concrete
    // controllers from their own keys.
    NumericEntryState Entry{};

protected:
    // What each report field last carried (LastRemoteCode, LastKeyboardState,
    // LastMediaCenterCode, LastExtraState, LastPanelState, LastRfCode).
    KeyDecoderState Held{};

    CVolCtrl* VolumeControl = nullptr;
    CLowBatCtrl* BatteryWarning = nullptr;
    CTrayControl* Tray = nullptr;

    // One key of the numeric entry: starts the main window's entry timer or
    // ends the entry through FinishNumericEntry, as the entry answers.
    void RunNumericEntryKey(uint16_t code, const EntryTimeouts& timeouts);
    // Any other key or report ends a running entry.
    void CancelNumericEntry();
    // What FinishNumericEntry does in both forms: hands the result to the
    // navigation test window, or a finished number to the button setting
    // tool (started when it does not run), and ends the entry.
    void DeliverNumericEntry(uint32_t result);

private:
    // True when the actions held the wake reply.
    bool Perform(const KeyActions& actions, CHidDevice* device, const uint8_t* report, uint32_t length);
    void Dispatch(const KeyAction& action, uint32_t deviceFlags, const uint8_t* report, uint32_t length);
};
