#pragma once
// Decoding of the receiver's input reports into button events. Plain C++,
// no Windows headers: the key controller carries the events out, tests and
// the fuzzer drive the decoder directly.
//
// Two formats exist: the classic receiver's (report IDs 2 to 6) and the
// radio receiver's (IDs 1 to 5). Each report field is a small press/release
// machine: a report of zeros releases the code the field last carried.

#include <cstddef>
#include <initializer_list>
#include <cstdint>

struct KeyboardReportState {
    uint32_t Count;
    uint16_t Consumer;
    uint16_t Function;
    uint16_t Application;
    uint16_t Digits;
    uint16_t Mode;
};

struct KeyPairState {
    uint32_t Count;
    uint16_t First;
    uint16_t Second;
};

// Report IDs of the classic receiver's format.
constexpr uint8_t CLASSIC_REPORT_REMOTE = 2;        // remote button word, battery bits
constexpr uint8_t CLASSIC_REPORT_KEYBOARD = 3;      // keyboard fields
constexpr uint8_t CLASSIC_REPORT_MEDIA_CENTER = 4;  // media-center code
constexpr uint8_t CLASSIC_REPORT_EXTRA = 5;         // extra keys
constexpr uint8_t CLASSIC_REPORT_PANEL = 6;         // panel keys

// Report IDs of the radio receiver's format, 1 to RF_REPORT_IDS.
constexpr uint8_t RF_REPORT_VOLUME = 1;        // volume and mute usages
constexpr uint8_t RF_REPORT_CONSUMER = 2;      // consumer-page usages
constexpr uint8_t RF_REPORT_MEDIA_CENTER = 3;  // media-center codes
constexpr uint8_t RF_REPORT_KEYS = 4;          // keyboard-page keys
constexpr uint8_t RF_REPORT_VALUE = 5;         // a value, passed through
constexpr int RF_REPORT_IDS = 5;

struct KeyDecoderState {
    uint16_t LastRemoteCode;
    KeyboardReportState LastKeyboardState;
    uint16_t LastMediaCenterCode;
    KeyPairState LastExtraState;
    KeyPairState LastPanelState;
    uint16_t LastRfCode[RF_REPORT_IDS];
};

// The handlers of the key controller, by their slot number.
enum class KeyHandler : uint8_t {
    RemoteButton = 4,
    ConsumerKey = 5,
    FunctionKey = 6,
    ApplicationKey = 7,
    DigitKey = 8,
    ModeKey = 9,
    MediaCenterKey = 10,
    ExtraKey = 11,
    ExtraKey2 = 12,
    Report = 13,
    PanelKey = 14,
    PanelKey2 = 15,
    EffectKey = 16,
    DataKey = 17,
    ValueKey = 18,
};

enum class KeyActionKind : uint8_t {
    Flash,         // blink the tray icon for input kind `code`
    BatteryLow,    // warn of a low battery, warning number `code`
    VolumeKeyUp,   // a held radio volume key ends: stop its repeat
    WakeReply,     // answer the receiver once while the display is off
    Call,          // call `handler` with code/state (and value, flags)
};

struct KeyAction {
    KeyActionKind kind;
    KeyHandler handler;
    uint16_t code;   // for ValueKey: the kind (69)
    uint16_t value;  // for ValueKey: the code
    uint32_t state;  // 1 pressed, 0 released
};

// A report produces a handful of actions at most.
struct KeyActions {
    static constexpr int CAPACITY = 8;
    KeyAction items[CAPACITY];
    int count = 0;
    int dropped = 0;  // actions that did not fit: never, if CAPACITY is right

    void Add(const KeyAction& action)
    {
        if (count < CAPACITY) {
            items[count++] = action;
        } else {
            ++dropped;
        }
    }
};

// Consumer-page usages the radio receiver sends for the volume keys.
constexpr uint16_t RF_VOLUME_UP = 233;
constexpr uint16_t RF_VOLUME_DOWN = 234;
// The remote-button codes the volume keys become.
constexpr uint16_t REMOTE_VOLUME_UP = 16;
constexpr uint16_t REMOTE_VOLUME_DOWN = 32;

// Classic format. `report` holds `length` bytes as the device delivered them
// (byte 0 the report ID); bytes a short report lacks read as 0. An empty
// report decodes to nothing. `batteryWarning`: a low-battery notifier exists.
void DecodeClassicReport(KeyDecoderState& state, const uint8_t* report, size_t length, uint32_t deviceFlags,
                         bool batteryWarning, KeyActions& out);

// What the radio decoding needs to know of the world around it.
struct RfContext {
    uint32_t InputReportByteLength;  // of the collection
    uint32_t DeviceFlags;
    bool WakeReplyDue;       // connected standby, display off, no reply sent yet
    bool DropUnlessValue;    // MagicKey_SendSighInUser 1 while locked or off the console
};

// Radio-receiver format.
void DecodeRfReport(KeyDecoderState& state, const uint8_t* report, size_t length, const RfContext& context,
                    KeyActions& out);

// Ends held radio volume keys: one VolumeKeyUp per held field, cleared.
void StopRfVolumeRepeat(KeyDecoderState& state, KeyActions& out);
