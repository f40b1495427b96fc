#pragma once
// Every text the program shows and every well-known window class or title it
// looks for. Each has a built-in default that an installer can replace with a
// REG_SZ value of the same name. The texts are ANSI strings of code page 932;
// the Japanese defaults are held as their Shift JIS bytes.
//
// The fields are named after their registry values so that one search finds
// both. All of them are filled once at start-up and only read afterwards.

#include <cstdint>
#include <vector>

constexpr char REMOTE_TEXTS_KEY[] = "Software\\Orlan\\Kova\\Description";                          // HKLM
constexpr char SONRA2_KEY[] = "SOFTWARE\\Orlan\\Sonra2";                                            // HKLM
constexpr char KEYBOARD_TEXTS_KEY[] = "Software\\Orlan\\OrlanTesk\\Description";                  // HKLM
constexpr char ONSCREEN_TEXTS_KEY[] = "Software\\Orlan\\Kova\\OnScreen";                          // HKLM
constexpr char AUDIO_CONTROL_STRINGS_KEY[] = "Software\\Orlan\\OrlanTesk\\AudioControl\\DefaultString";  // HKLM

// Size of every text field: 127 characters and the terminator.
constexpr int TEXT_FIELD_SIZE = 128;
// The two built texts are longer than one field can hold.
constexpr int LONG_TEXT_FIELD_SIZE = 1024;

// HKLM\Software\Orlan\Kova\Description (texts longer than 128 characters are
// ignored there).
struct RemoteTexts {
    char Menu_Util[TEXT_FIELD_SIZE];
    char Menu_Help[TEXT_FIELD_SIZE];
    char Menu_Exit[TEXT_FIELD_SIZE];
    char Menu_Msg1[TEXT_FIELD_SIZE];
    char Menu_Msg2[TEXT_FIELD_SIZE];
    char Kova_Title[TEXT_FIELD_SIZE];
    char Util_Title[TEXT_FIELD_SIZE];
    char Util_Exe[TEXT_FIELD_SIZE];
    char Util_Help[TEXT_FIELD_SIZE];
    char Help_Class[TEXT_FIELD_SIZE];
    char Help_Title[TEXT_FIELD_SIZE];
    char Balloon_Title[TEXT_FIELD_SIZE];
    char Balloon_Msg[TEXT_FIELD_SIZE];
    char NoAppString1[TEXT_FIELD_SIZE];
    char NoAppString2[TEXT_FIELD_SIZE];
    char NoAppString3[TEXT_FIELD_SIZE];
    char NoAppStringBV[TEXT_FIELD_SIZE];
    char NoAppStringDVD[TEXT_FIELD_SIZE];
    char BVErrString1[TEXT_FIELD_SIZE];
    char BVErrString2[TEXT_FIELD_SIZE];
    char Vidora_Class[TEXT_FIELD_SIZE];
    char MC_Class[TEXT_FIELD_SIZE];
    char BV_Class[TEXT_FIELD_SIZE];
    char BV_Title[TEXT_FIELD_SIZE];
    char Hal_Class[TEXT_FIELD_SIZE];
    char Hal_Title[TEXT_FIELD_SIZE];
    char NoAppStringHal[TEXT_FIELD_SIZE];
    char TunerDeck_Class[TEXT_FIELD_SIZE];
    char TunerDeck_Title[TEXT_FIELD_SIZE];  // empty: any title
    char AppNameSonra[TEXT_FIELD_SIZE];
    char NoAppStringSonra[TEXT_FIELD_SIZE];
    // Built from a format that names AppNameSonra three times, so the built
    // text is longer than 127 characters; a stored text is still cut to 127.
    char UnInstStringSonra[LONG_TEXT_FIELD_SIZE];
    // NoAppString1, 2 and 3 on three lines: the one-touch launcher's message.
    char NoAppMessage[LONG_TEXT_FIELD_SIZE];
};

// HKLM\Software\Orlan\OrlanTesk\Description.
struct KeyboardTexts {
    char MENU_EXIT[TEXT_FIELD_SIZE];
    char MENU_HELP[TEXT_FIELD_SIZE];
    char MENU_UTL[TEXT_FIELD_SIZE];
    char TESK_Cancel[TEXT_FIELD_SIZE];
    char TESK_Cancel2[TEXT_FIELD_SIZE];
    char TESKHLPCaption[TEXT_FIELD_SIZE];
    char TESKUTLCaption[TEXT_FIELD_SIZE];
    char OrlanTeskCaption[TEXT_FIELD_SIZE];
};

// HKLM\Software\Orlan\Kova\OnScreen.
struct OnScreenTexts {
    char MuteOnString[TEXT_FIELD_SIZE];
    char MuteOffString[TEXT_FIELD_SIZE];
    uint32_t MuteOffByVolume;  // non-zero: a volume button also unmutes
    char CantUseNightMode[TEXT_FIELD_SIZE];
};

// HKLM\Software\Orlan\OrlanTesk\AudioControl\DefaultString, Str00 to Str06:
// what the display shows for the player notices 0 to 6.
constexpr int AUDIO_CONTROL_STRING_COUNT = 7;
struct AudioControlStrings {
    char Str[AUDIO_CONTROL_STRING_COUNT][TEXT_FIELD_SIZE];
};

// The notice of the effect-mode button when the effect application does not
// answer, with appName in its three places.
void BuildSonraNotice(char (&out)[LONG_TEXT_FIELD_SIZE], const char* appName);

// The built-in defaults, the two built texts included.
RemoteTexts DefaultRemoteTexts();
KeyboardTexts DefaultKeyboardTexts();
OnScreenTexts DefaultOnScreenTexts();
AudioControlStrings DefaultAudioControlStrings();

// Each text's value name and text in effect, in reading order (the
// inspector's). The remote texts end with the built UnInstStringSonra.
struct NamedText {
    const char* Name;
    const char* Text;
};
std::vector<NamedText> NamedRemoteTexts(const RemoteTexts& texts);
std::vector<NamedText> NamedKeyboardTexts(const KeyboardTexts& texts);
std::vector<NamedText> NamedOnScreenTexts(const OnScreenTexts& texts);

// Loaders: each starts from the defaults and lets the registry replace them.
void LoadRemoteTexts(RemoteTexts& out);
void LoadKeyboardTexts(KeyboardTexts& out);
void LoadOnScreenTexts(OnScreenTexts& out);
void LoadAudioControlStrings(AudioControlStrings& out);
