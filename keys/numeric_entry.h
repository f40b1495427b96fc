#pragma once
// The numeric code entry: a number of announced length (or two of them)
// typed on the remote for the navigation test window or the button setting
// tool. Plain C++, no Windows headers: the key controllers feed it the entry
// keys and carry out what it answers (start the entry timer, or end the
// entry with a result), tests and the fuzzer drive it directly.
//
// An entry goes: start -> length digit -> confirm (arms the digits) ->
// that many digits -> finish. A pair entry confirms once more after its
// first value and then runs the second like a single one. Any wrong key ends
// the entry with a status instead of a number.

#include <cstdint>

struct NumericEntryState {
    uint32_t EntryOne;       // a single value (or a pair's second) is running
    uint32_t EntryTwo;       // a two-value entry is running
    uint32_t DigitsArmed;    // the length is confirmed: digits count now
    uint16_t DigitCount;     // digits announced
    uint16_t DigitsEntered;
    uint16_t LastDigit;      // code of the last digit key
    uint32_t ValueOne;
    uint32_t ValueTwo;
};

// The entry keys, as the extra-key report of the remote sends them.
constexpr uint16_t ENTRY_DIGIT_0 = 176;      // 176..185 are the digits 0..9
constexpr uint16_t ENTRY_DIGIT_9 = 185;
constexpr uint16_t ENTRY_START_SINGLE = 186;
constexpr uint16_t ENTRY_FINISH_SINGLE = 187;
constexpr uint16_t ENTRY_START_PAIR = 188;
constexpr uint16_t ENTRY_FINISH_PAIR = 189;
constexpr uint16_t ENTRY_CONFIRM = 190;
constexpr uint16_t ENTRY_REPEAT_DIGIT = 191;  // the previous digit again

// What the entry ends with: 1 for a finished number, else a status.
constexpr uint32_t ENTRY_COMPLETE = 1;
constexpr uint32_t ENTRY_BUSY = 0xFFFF0001;            // a start while an entry runs
constexpr uint32_t ENTRY_INCOMPLETE = 0xFFFF0002;      // a finish at the wrong moment or too early
constexpr uint32_t ENTRY_CANCELLED = 0xFFFF0003;       // another key or report came between
constexpr uint32_t ENTRY_TOO_MANY_DIGITS = 0xFFFF0004;
constexpr uint32_t ENTRY_REPEATED_DIGIT = 0xFFFF0005;  // the same digit key twice in a row
constexpr uint32_t ENTRY_TIMEOUT = 0xFFFF0006;
constexpr uint32_t ENTRY_REPEAT_FIRST = 0xFFFF0007;    // the repeat key as the first digit
constexpr uint32_t ENTRY_BAD_LENGTH = 0xFFFF0008;      // a second length digit, or 0 or repeat as length
constexpr uint32_t ENTRY_BAD_CONFIRM = 0xFFFF000A;

// How long an entry may take, by kind.
struct EntryTimeouts {
    uint32_t SingleMs;
    uint32_t PairMs;
};
// The working controller's remote keys; test mode's keyboard keys are given
// twice as long.
constexpr EntryTimeouts REMOTE_ENTRY_TIMEOUTS = {5000, 10000};
constexpr EntryTimeouts TEST_MODE_ENTRY_TIMEOUTS = {10000, 20000};

// What the caller must do after a key.
struct EntryStep {
    enum class Kind : uint8_t {
        Nothing,
        StartTimer,  // (re)start the entry timer for `value` ms
        Finish,      // end the entry with result `value`
    };
    Kind kind;
    uint32_t value;
};

bool IsEntryKey(uint16_t code);
bool IsEntryRunning(const NumericEntryState& state);

// One entry key (ENTRY_DIGIT_0 .. ENTRY_REPEAT_DIGIT); anything else does
// nothing. The state is left for the Finish step to clear.
EntryStep NumericEntryKey(NumericEntryState& state, uint16_t code, const EntryTimeouts& timeouts);

// Where the results of an ended entry go: the navigation test window takes
// statuses too; the setting tool only takes a finished number.
struct EntryPost {
    uint32_t which;  // 2: the pair's first value, 1: the single (or second) value
    uint32_t value;
};
struct EntryPosts {
    EntryPost items[2];
    int count = 0;
};

// The programs that take the results, and the message they get: wParam
// `which` (2 the pair's first value, 1 the other), lParam the value.
constexpr uint32_t ENTRY_RESULT_MESSAGE = 0x0400 + 600;  // WM_USER + 600
constexpr char NAVIGATION_TEST_TITLE[] = "x_guide_test";
constexpr char SETTING_TOOL_CLASS[] = "ORLAN_PAD_TOOL";
// Under the Program Files folder.
constexpr char SETTING_TOOL_PATH[] = "\\PadTool\\PadTool.exe";
// The tool is given this long to show its window, looked for once a second.
constexpr uint32_t SETTING_TOOL_LOOKS = 5;
constexpr uint32_t SETTING_TOOL_LOOK_MS = 1000;

// Ends the entry with result: when the result is a status, it replaces the
// value of the running part (a pair's status drops the second value); the
// values are listed in the order they are to be sent, and both entry flags
// are cleared.
EntryPosts TakeEntryResults(NumericEntryState& state, uint32_t result);
