#pragma once
// What each button does on a configured machine, as flat data: one row per
// button code of a key group. A row names the command posted to the target
// windows of a category mask on the press and on the release (0: nothing
// posted), and the one action that goes with it. CKeySendCtrl looks the code
// up and carries the row out; a code without a row does nothing.
//
// The category masks and command numbers are the contract with the client
// applications that register through kovaapi: they are carried unchanged.

#include <cstddef>
#include <cstdint>

enum class KeyAct : uint8_t {
    None,
    // The player gets the button (arg, or the code itself when arg is 0);
    // a press hides the volume display.
    PlayerKey,
    // As PlayerKey, but a CD or DVD player that runs gets arg (its wind
    // command) and no player the code itself.
    WindKey,
    // The press's post went to no target in front: the browser in front
    // gets its add-favourite keys.
    FavouriteUnlessTarget,
    Mute,
    // Press: Alt+F4 to the window in front.
    CloseFront,
    // Press: maximize or restore the targets of category mask arg.
    ToggleMaximize,
    // Press: the remote launcher starts button arg (the code itself when
    // arg is 0), and pending Brivue start retries end.
    Launch,
    // Press: the media-center window is maximized and the name of launch
    // profile arg shown.
    MediaCenterProfile,
    // The post went to no target in front: the number button arg is typed
    // as a digit key (when NumCode_Enable asks for it).
    DigitUnlessTarget,
    // Press: with BSFlags 1 the night-mode notice is shown instead of the
    // post.
    NightModeOrPost,
    // The TV key: a command to the TV application that runs, else its
    // launch.
    TvKey,
    // A key of the numeric code entry.
    NumericEntry,
    // Press: the post only while Halcyon runs, else the launch of button
    // arg.
    PostToHalcyonOrLaunch,
};

struct KeyRow {
    uint16_t code;
    uint16_t mask;       // target categories of the posts
    uint32_t onPress;    // command posted on the press; 0: none
    uint32_t onRelease;  // command posted on the release; 0: none
    KeyAct act;
    uint32_t arg;
};

// The target categories (bit i selects category i).
constexpr uint16_t CAT_0 = 0x01;
constexpr uint16_t CAT_1 = 0x02;
constexpr uint16_t CAT_2 = 0x04;
constexpr uint16_t CAT_3 = 0x08;
constexpr uint16_t CAT_4 = 0x10;
constexpr uint16_t CAT_5 = 0x20;
constexpr uint16_t CAT_6 = 0x40;

// The launch profiles whose names the media-center keys show.
constexpr uint32_t MEDIA_CENTER_PROFILE_A = 10;
constexpr uint32_t MEDIA_CENTER_PROFILE_B = 11;
constexpr uint32_t MEDIA_CENTER_PROFILE_C = 14;

// The player's wind commands (fast forward, rewind).
constexpr uint32_t PLAYER_WIND_FORWARD = 129;
constexpr uint32_t PLAYER_WIND_BACK = 130;

// Consumer-page usages of the keyboard report and the radio receiver.
inline constexpr KeyRow CONSUMER_KEYS[] = {
    //  usage  mask    press     release  action
    {64, CAT_0, 20, 0, KeyAct::None, 0},                          // Menu
    {96, CAT_0, 25, 0, KeyAct::None, 0},                          // Data on Screen
    {141, CAT_0, 16, 0, KeyAct::None, 0},                         // MSPG
    {156, CAT_1, 0x10005, 0, KeyAct::None, 0},                    // channel up
    {157, CAT_1, 0x20005, 0, KeyAct::None, 0},                    // channel down
    {176, 0, 0, 0, KeyAct::PlayerKey, 0},                         // Play
    {177, 0, 0, 0, KeyAct::PlayerKey, 0},                         // Pause
    {178, CAT_0, 1, 0, KeyAct::None, 0},                          // Rec
    {179, 0, 0, 0, KeyAct::WindKey, PLAYER_WIND_FORWARD},         // FW
    {180, 0, 0, 0, KeyAct::WindKey, PLAYER_WIND_BACK},            // RW
    {194, CAT_0, 2, 0, KeyAct::FavouriteUnlessTarget, 0},         // Mark
    {226, 0, 0, 0, KeyAct::Mute, 0},                              // mute
    {516, 0, 0, 0, KeyAct::CloseFront, 0},                        // Exit
    {521, CAT_0, 27, 0, KeyAct::None, 0},                         // SubMenu
    {562, 0, 0, 0, KeyAct::ToggleMaximize, CAT_4},                // Toggle
};

// Function codes of the keyboard report.
inline constexpr KeyRow FUNCTION_KEYS[] = {
    {16, CAT_0, 27, 0, KeyAct::None, 0},  // SubMenu
    {32, CAT_3, 8, 0, KeyAct::None, 0},   // Voice
    {64, CAT_3, 7, 0, KeyAct::None, 0},   // SubTitles
};

// Application bits of the keyboard report: each starts its remote launch
// button, DVD also tells the targets. A value with several bits set has no
// row and is handed to the launcher as it is (APPLICATION_KEY_OTHER).
inline constexpr KeyRow APPLICATION_KEYS[] = {
    {1, 0, 0, 0, KeyAct::Launch, 0},         // InstantTV
    {2, CAT_0, 4105, 0, KeyAct::Launch, 0},  // DVD
    {4, 0, 0, 0, KeyAct::Launch, 0},         // TVD
    {8, 0, 0, 0, KeyAct::Launch, 0},         // BS/CS
    {16, 0, 0, 0, KeyAct::Launch, 0},        // TVA
    {32, 0, 0, 0, KeyAct::Launch, 0},        // CV
    {64, 0, 0, 0, KeyAct::Launch, 0},        // Video
    {128, 0, 0, 0, KeyAct::Launch, 0},       // Music
};
inline constexpr KeyRow APPLICATION_KEY_OTHER = {0, 0, 0, 0, KeyAct::Launch, 0};

// Mode codes of the keyboard report. The wind keys tell the player first,
// then the targets.
inline constexpr KeyRow MODE_KEYS[] = {
    {1, CAT_4, 15, 0, KeyAct::None, 0},                                      // Input Change
    {5, CAT_0, 18, 0, KeyAct::None, 0},                                      // Reservation List
    {6, CAT_0, 28, 0, KeyAct::None, 0},                                      // REC Reserve
    {8, 0, 0, 0, KeyAct::Launch, 256},                                       // TV(ON/OFF)
    {10, CAT_1, 0x8000000C, 0x80000023, KeyAct::WindKey, PLAYER_WIND_BACK},  // RW
    {12, CAT_1, 0x8000000D, 0x80000023, KeyAct::WindKey, PLAYER_WIND_FORWARD},  // FW
};

// Media-center codes (classic report 4, radio report 3). The number buttons
// 10 to 12 post the same words as the digit keys 512 to 2048 and, like
// them, have no digit key to type.
inline constexpr KeyRow MEDIA_CENTER_KEYS[] = {
    {13, CAT_0, 4109, 0, KeyAct::None, 0},                                             // MCE Start
    {36, CAT_0, 26, 0, KeyAct::None, 0},
    {39, CAT_4, 22, 0, KeyAct::None, 0},
    {44, CAT_5, 50, 0, KeyAct::None, 0},
    {61, CAT_0, 4107, 0, KeyAct::MediaCenterProfile, MEDIA_CENTER_PROFILE_B},
    {62, CAT_1, 0x2000004, 0x2000051, KeyAct::DigitUnlessTarget, 512},                  // 10
    {63, CAT_1, 0x4000004, 0x4000051, KeyAct::DigitUnlessTarget, 1024},                 // 11
    {64, CAT_1, 0x8000004, 0x8000051, KeyAct::DigitUnlessTarget, 2048},                 // 12
    {65, CAT_0, 25, 0, KeyAct::None, 0},
    {66, CAT_0, 19, 0, KeyAct::None, 0},
    {71, CAT_0, 4106, 0, KeyAct::MediaCenterProfile, MEDIA_CENTER_PROFILE_A},
    {72, CAT_4, 67, 0, KeyAct::None, 0},
    {73, CAT_0, 4108, 0, KeyAct::MediaCenterProfile, MEDIA_CENTER_PROFILE_C},
    {76, CAT_3, 8, 0, KeyAct::None, 0},
    {77, CAT_3, 7, 0, KeyAct::None, 0},
    {90, CAT_3, 11, 0, KeyAct::None, 0},
    {91, CAT_2, 0x10006, 0x10006 + 74, KeyAct::None, 0},
    {92, CAT_2, 0x80006, 0x80006 + 74, KeyAct::None, 0},
    {93, CAT_2, 0x40006, 0x40006 + 74, KeyAct::None, 0},
    {94, CAT_2, 0x20006, 0x20006 + 74, KeyAct::None, 0},
};

// Extra keys (classic report 5 First, radio report 4). Every key but those
// of the numeric entry also cancels a running entry.
inline constexpr KeyRow EXTRA_KEYS[] = {
    {32, CAT_5, 48, 0, KeyAct::None, 0},                // VISUAL
    {33, CAT_5, 0x10031, 0, KeyAct::None, 0},           // BRIGHT UP
    {34, CAT_5, 0x20031, 0, KeyAct::None, 0},           // BRIGHT DOWN
    {89, CAT_5, 48, 0, KeyAct::None, 0},
    {90, CAT_0, 30, 0, KeyAct::None, 0},
    {91, CAT_5, 52, 0, KeyAct::NightModeOrPost, 0},
    {95, 0, 0, 0, KeyAct::TvKey, 0},
    {176, 0, 0, 0, KeyAct::NumericEntry, 0},  // digits 0 to 9
    {177, 0, 0, 0, KeyAct::NumericEntry, 0},
    {178, 0, 0, 0, KeyAct::NumericEntry, 0},
    {179, 0, 0, 0, KeyAct::NumericEntry, 0},
    {180, 0, 0, 0, KeyAct::NumericEntry, 0},
    {181, 0, 0, 0, KeyAct::NumericEntry, 0},
    {182, 0, 0, 0, KeyAct::NumericEntry, 0},
    {183, 0, 0, 0, KeyAct::NumericEntry, 0},
    {184, 0, 0, 0, KeyAct::NumericEntry, 0},
    {185, 0, 0, 0, KeyAct::NumericEntry, 0},
    {186, 0, 0, 0, KeyAct::NumericEntry, 0},  // start a single value
    {187, 0, 0, 0, KeyAct::NumericEntry, 0},  // finish it
    {188, 0, 0, 0, KeyAct::NumericEntry, 0},  // start a pair
    {189, 0, 0, 0, KeyAct::NumericEntry, 0},  // finish it
    {190, 0, 0, 0, KeyAct::NumericEntry, 0},  // confirm the length, next value
    {191, 0, 0, 0, KeyAct::NumericEntry, 0},  // the previous digit again
};

// Panel keys (classic report 6 First); every panel report also cancels a
// running entry.
inline constexpr KeyRow PANEL_KEYS[] = {
    {1, CAT_0, 4097, 0, KeyAct::PostToHalcyonOrLaunch, 1},
    {2, CAT_3, 4098, 0, KeyAct::None, 0},
    {3, CAT_3, 4099, 0, KeyAct::None, 0},
    {4, CAT_3, 4100, 0, KeyAct::None, 0},
    {5, CAT_5, 4104, 0, KeyAct::None, 0},
    {6, CAT_5, 4101, 0, KeyAct::None, 0},
    {7, CAT_5, 4102, 0, KeyAct::None, 0},
    {8, CAT_5, 4103, 0, KeyAct::None, 0},
};

// Radio report 2 code 96.
inline constexpr KeyRow DATA_KEYS[] = {
    {96, CAT_5, 96, 0, KeyAct::None, 0},
};

// The button with which the receiver woke the PC: the one-touch buttons of
// the keyboard, or the remote launch buttons. Button 113 (TV) starts the
// Brivue start retries after its launch; 113 and 114 pass on where the wake
// came from.
enum class WakeLauncher : uint8_t { OneTouch, Remote };
struct WakeRow {
    uint8_t code;
    WakeLauncher launcher;
    bool passOrigin;
    bool startBrivueRetry;
};
inline constexpr WakeRow WAKE_BUTTONS[] = {
    {104, WakeLauncher::OneTouch, false, false},
    {105, WakeLauncher::OneTouch, false, false},
    {106, WakeLauncher::OneTouch, false, false},
    {107, WakeLauncher::OneTouch, false, false},
    {108, WakeLauncher::Remote, false, false},
    {109, WakeLauncher::Remote, false, false},
    {110, WakeLauncher::Remote, false, false},
    {111, WakeLauncher::Remote, false, false},
    {112, WakeLauncher::Remote, false, false},
    {113, WakeLauncher::Remote, true, true},
    {114, WakeLauncher::Remote, true, false},
    {115, WakeLauncher::Remote, false, false},
};

// The radio receiver's wake event: which wake button it stands for.
struct WakeEventRow {
    uint8_t kind;
    uint16_t code;
    uint8_t button;
    bool passFlag;  // the event's flag byte is the launch's origin
};
inline constexpr WakeEventRow WAKE_EVENTS[] = {
    {3, 71, 108, false},  // media-center start
    {4, 96, 113, true},   // TV
    {4, 97, 110, false},  // DVD
    {4, 105, 114, true},  // TV command
};

// The row of code in a table; null when it has none.
template <size_t N>
constexpr const KeyRow* FindKeyRow(const KeyRow (&table)[N], uint16_t code)
{
    for (const KeyRow& row : table) {
        if (row.code == code) {
            return &row;
        }
    }
    return nullptr;
}
