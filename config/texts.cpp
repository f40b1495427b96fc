#include "config/texts.h"

#include "base/text_util.h"
#include "config/regs.h"

#include <cstddef>
#include <cstdio>

namespace {

// The remote-control texts are read into the short buffer: a stored text of
// more than 128 characters is ignored as a whole.
constexpr int SHORT_TEXT_BUFFER = 129;

// "リモコンユーティリティ"
constexpr char SONRA_APP_NAME[] = "\x83\x8a\x83\x82\x83\x52\x83\x93\x83\x86\x81\x5b\x83\x65\x83\x42\x83\x8a\x83\x65\x83\x42";

// "「%s」が動作していません。\r\n「Harborview」から「%s」を起動した後、「%s」の画面を閉じてください。"
constexpr char SONRA_NOTICE_FORMAT[] =
    "\x81\x75%s\x81\x76\x82\xaa\x93\xae\x8d\xec\x82\xb5\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1\x81\x42\r\n"
    "\x81\x75Harborview\x81\x76\x82\xa9\x82\xe7\x81\x75%s\x81\x76\x82\xf0\x8b\x4e\x93\xae\x82\xb5\x82\xbd\x8c\xe3"
    "\x81\x41\x81\x75%s\x81\x76\x82\xcc\x89\xe6\x96\xca\x82\xf0\x95\xc2\x82\xb6\x82\xc4\x82\xad\x82\xbe\x82\xb3"
    "\x82\xa2\x81\x42";

template <typename Texts>
struct TextValue {
    const char* name;
    char (Texts::*field)[TEXT_FIELD_SIZE];
    const char* defaultText;
    bool trimmed;
};

// In the order they are read: the combined message is built after
// NoAppString3, the Sonra notice after AppNameSonra, and NoAppStringSonra is
// read last, after the effect application's own caption has had its say.
constexpr TextValue<RemoteTexts> REMOTE_TEXT_VALUES[] = {
    {"Menu_Util", &RemoteTexts::Menu_Util, "Open(&O)", true},
    {"Menu_Help", &RemoteTexts::Menu_Help, "Help(&H)", true},
    {"Menu_Exit", &RemoteTexts::Menu_Exit, "Exit(&X)", true},
    {"Menu_Msg1", &RemoteTexts::Menu_Msg1, "Stop the Orlan Remote Controller.", true},
    {"Menu_Msg2", &RemoteTexts::Menu_Msg2, "Continue?", true},
    {"Kova_Title", &RemoteTexts::Kova_Title, "Orlan TV Remote Controller.", true},
    // Compared with a window title as it is, blanks and all.
    {"Util_Title", &RemoteTexts::Util_Title, "KovaUtil", false},
    {"Util_Exe", &RemoteTexts::Util_Exe, "kovautil.exe", true},
    {"Util_Help", &RemoteTexts::Util_Help, "kovaUtil.chm", true},
    {"Help_Class", &RemoteTexts::Help_Class, "help.class", true},
    {"Help_Title", &RemoteTexts::Help_Title, "Orlan kovaHelp", true},
    {"Balloon_Title", &RemoteTexts::Balloon_Title, "How to restart remote controller utility", true},
    {"Balloon_Msg", &RemoteTexts::Balloon_Msg,
     "Select remote controller utility from the Start Menu in all programs.", true},
    {"NoAppString1", &RemoteTexts::NoAppString1, "This function isn't available.", true},
    {"NoAppString2", &RemoteTexts::NoAppString2, "Push a [analog] button when you use a television.", true},
    {"NoAppString3", &RemoteTexts::NoAppString3, "Establish a start program by the remote controller utility.",
     true},
    {"NoAppStringBV", &RemoteTexts::NoAppStringBV, "This function isn't available with this model.", true},
    {"NoAppStringDVD", &RemoteTexts::NoAppStringDVD, "This function isn't available with this model.", true},
    // "現在の環境では、テレビ・ビデオの機能をご利用できません。"
    {"BVErrString1", &RemoteTexts::BVErrString1,
     "\x8c\xbb\x8d\xdd\x82\xcc\x8a\xc2\x8b\xab\x82\xc5\x82\xcd\x81\x41\x83\x65\x83\x8c\x83\x72\x81\x45\x83\x72\x83\x66"
     "\x83\x49\x82\xcc\x8b\x40\x94\x5c\x82\xf0\x82\xb2\x97\x98\x97\x70\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x81\x42",
     true},
    // "Cinevault操作ガイドで、画面の解像度や同時に動作しないアプリケーションなどをご確認ください。"
    {"BVErrString2", &RemoteTexts::BVErrString2,
     "Cinevault\x91\x80\x8d\xec\x83\x4b\x83\x43\x83\x68\x82\xc5\x81\x41\x89\xe6\x96\xca\x82\xcc\x89\xf0\x91\x9c\x93\x78"
     "\x82\xe2\x93\xaf\x8e\x9e\x82\xc9\x93\xae\x8d\xec\x82\xb5\x82\xc8\x82\xa2\x83\x41\x83\x76\x83\x8a\x83\x50\x81\x5b"
     "\x83\x56\x83\x87\x83\x93\x82\xc8\x82\xc7\x82\xf0\x82\xb2\x8a\x6d\x94\x46\x82\xad\x82\xbe\x82\xb3\x82\xa2\x81\x42",
     true},
    {"Vidora_Class", &RemoteTexts::Vidora_Class, "VidoraClass", true},
    {"MC_Class", &RemoteTexts::MC_Class, "eHome Render Window", true},
    {"BV_Class", &RemoteTexts::BV_Class, "Brivue KOVA TESKB Window", true},
    {"BV_Title", &RemoteTexts::BV_Title, "Brivue DUVIRADIV", true},
    {"Hal_Class", &RemoteTexts::Hal_Class, "Halcyon KOVA TESKB Window", true},
    {"Hal_Title", &RemoteTexts::Hal_Title, "Halcyon", true},
    // "Halcyonは起動できませんでした。"
    {"NoAppStringHal", &RemoteTexts::NoAppStringHal,
     "Halcyon\x82\xcd\x8b\x4e\x93\xae\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd\x81\x42", true},
    {"TunerDeck_Class", &RemoteTexts::TunerDeck_Class, "DTV Proxy Application", true},
    {"TunerDeck_Title", &RemoteTexts::TunerDeck_Title, "", true},
    {"AppNameSonra", &RemoteTexts::AppNameSonra, SONRA_APP_NAME, true},
    // "このボタンはこの機種では使用できません。"
    {"NoAppStringSonra", &RemoteTexts::NoAppStringSonra,
     "\x82\xb1\x82\xcc\x83\x7b\x83\x5e\x83\x93\x82\xcd\x82\xb1\x82\xcc\x8b\x40\x8e\xed\x82\xc5\x82\xcd\x8e\x67\x97\x70"
     "\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x81\x42",
     true},
};

constexpr TextValue<KeyboardTexts> KEYBOARD_TEXT_VALUES[] = {
    {"MENU_EXIT", &KeyboardTexts::MENU_EXIT, "Exit(&X)", true},
    {"MENU_HELP", &KeyboardTexts::MENU_HELP, "Help(&H)", true},
    {"MENU_UTL", &KeyboardTexts::MENU_UTL, "Util(&U)", true},
    {"TESK_Cancel", &KeyboardTexts::TESK_Cancel, "You are going to stop one touch start button.", true},
    {"TESK_Cancel2", &KeyboardTexts::TESK_Cancel2, "continue ?", true},
    {"TESKHLPCaption", &KeyboardTexts::TESKHLPCaption, "Help", true},
    {"TESKUTLCaption", &KeyboardTexts::TESKUTLCaption, "Util", true},
    {"OrlanTeskCaption", &KeyboardTexts::OrlanTeskCaption, "Orlan One-touch Start Buttons", true},
};

constexpr TextValue<OnScreenTexts> ONSCREEN_TEXT_VALUES[] = {
    {"MuteOnString", &OnScreenTexts::MuteOnString, "Mute ON", true},
    {"MuteOffString", &OnScreenTexts::MuteOffString, "Mute OFF", true},
    {"CantUseNightMode", &OnScreenTexts::CantUseNightMode, "This function isn't available with this model.", true},
};

constexpr const char* AUDIO_CONTROL_DEFAULTS[AUDIO_CONTROL_STRING_COUNT] = {
    "\x8e\x9f\x82\xcc\x83\x67\x83\x89\x83\x62\x83\x4e",  // "次のトラック"
    "\x91\x4f\x82\xcc\x83\x67\x83\x89\x83\x62\x83\x4e",  // "前のトラック"
    "\x92\xe2\x8e\x7e",                                  // "停止"
    "\x8d\xc4\x90\xb6",                                  // "再生"
    "\x91\x81\x91\x97\x82\xe8",                          // "早送り"
    "\x8a\xaa\x82\xab\x96\xdf\x82\xb5",                  // "巻き戻し"
    "\x88\xea\x8e\x9e\x92\xe2\x8e\x7e",                  // "一時停止"
};

template <typename Texts, size_t N>
void CopyDefaults(const TextValue<Texts> (&values)[N], Texts& out)
{
    for (const TextValue<Texts>& value : values) {
        CopyCut(out.*value.field, value.defaultText);
    }
}

template <typename Texts>
bool ReadText(CRegs& regs, const TextValue<Texts>& value, int bufferSize, Texts& out)
{
    return value.trimmed ? ReadTrimmedText(regs, value.name, bufferSize, out.*value.field)
                         : ReadUntrimmedText(regs, value.name, bufferSize, out.*value.field);
}

void BuildNoAppMessage(RemoteTexts& texts)
{
    std::snprintf(texts.NoAppMessage, sizeof(texts.NoAppMessage), "%s\n%s\n%s", texts.NoAppString1,
                  texts.NoAppString2, texts.NoAppString3);
}

// The effect application may name itself: its caption replaces the name in
// the notice.
void ReadSonraCaption(RemoteTexts& texts)
{
    CRegs regs;
    if (regs.Open(HKEY_LOCAL_MACHINE, SONRA2_KEY, KEY_READ) != ERROR_SUCCESS) {
        return;
    }
    if (ReadTrimmedText(regs, "CaptionName", SHORT_TEXT_BUFFER, texts.AppNameSonra)) {
        BuildSonraNotice(texts.UnInstStringSonra, texts.AppNameSonra);
    }
    regs.Close();
}

template <typename Texts, size_t N>
std::vector<NamedText> Named(const TextValue<Texts> (&values)[N], const Texts& texts)
{
    std::vector<NamedText> named;
    for (const TextValue<Texts>& value : values) {
        named.push_back({value.name, texts.*value.field});
    }
    return named;
}

}  // namespace

std::vector<NamedText> NamedRemoteTexts(const RemoteTexts& texts)
{
    std::vector<NamedText> named = Named(REMOTE_TEXT_VALUES, texts);
    named.push_back({"UnInstStringSonra", texts.UnInstStringSonra});
    return named;
}

std::vector<NamedText> NamedKeyboardTexts(const KeyboardTexts& texts) { return Named(KEYBOARD_TEXT_VALUES, texts); }

std::vector<NamedText> NamedOnScreenTexts(const OnScreenTexts& texts) { return Named(ONSCREEN_TEXT_VALUES, texts); }

void BuildSonraNotice(char (&out)[LONG_TEXT_FIELD_SIZE], const char* appName)
{
    // Three names of at most 127 bytes and the format fit easily; the bound
    // only guards against a caller's unterminated name.
    char name[TEXT_FIELD_SIZE] = {};
    CopyCut(name, appName);
    std::snprintf(out, sizeof(out), SONRA_NOTICE_FORMAT, name, name, name);
}

RemoteTexts DefaultRemoteTexts()
{
    RemoteTexts texts{};
    CopyDefaults(REMOTE_TEXT_VALUES, texts);
    BuildSonraNotice(texts.UnInstStringSonra, texts.AppNameSonra);
    // Without the description key the message is still whole.
    BuildNoAppMessage(texts);
    return texts;
}

KeyboardTexts DefaultKeyboardTexts()
{
    KeyboardTexts texts{};
    CopyDefaults(KEYBOARD_TEXT_VALUES, texts);
    return texts;
}

OnScreenTexts DefaultOnScreenTexts()
{
    OnScreenTexts texts{};
    CopyDefaults(ONSCREEN_TEXT_VALUES, texts);
    texts.MuteOffByVolume = 0;
    return texts;
}

AudioControlStrings DefaultAudioControlStrings()
{
    AudioControlStrings strings{};
    for (int i = 0; i < AUDIO_CONTROL_STRING_COUNT; ++i) {
        CopyCut(strings.Str[i], AUDIO_CONTROL_DEFAULTS[i]);
    }
    return strings;
}

void LoadRemoteTexts(RemoteTexts& out)
{
    out = DefaultRemoteTexts();
    CRegs regs;
    if (regs.Open(HKEY_LOCAL_MACHINE, REMOTE_TEXTS_KEY, KEY_READ) != ERROR_SUCCESS) {
        return;
    }
    for (const TextValue<RemoteTexts>& value : REMOTE_TEXT_VALUES) {
        if (value.field == &RemoteTexts::NoAppStringSonra) {
            break;
        }
        bool read = ReadText(regs, value, SHORT_TEXT_BUFFER, out);
        if (value.field == &RemoteTexts::NoAppString3) {
            BuildNoAppMessage(out);
        } else if (value.field == &RemoteTexts::AppNameSonra && read) {
            BuildSonraNotice(out.UnInstStringSonra, out.AppNameSonra);
        }
    }
    ReadSonraCaption(out);

    ReadTrimmedText(regs, "NoAppStringSonra", SHORT_TEXT_BUFFER, out.NoAppStringSonra);
    // A stored notice replaces the built one; like every stored text it is
    // held to 127 characters.
    char notice[TEXT_FIELD_SIZE] = {};
    if (ReadTrimmedText(regs, "UnInstStringSonra", SHORT_TEXT_BUFFER, notice)) {
        CopyCut(out.UnInstStringSonra, notice);
    }
    regs.Close();
}

void LoadKeyboardTexts(KeyboardTexts& out)
{
    out = DefaultKeyboardTexts();
    CRegs regs;
    if (regs.Open(HKEY_LOCAL_MACHINE, KEYBOARD_TEXTS_KEY, KEY_READ) != ERROR_SUCCESS) {
        return;
    }
    for (const TextValue<KeyboardTexts>& value : KEYBOARD_TEXT_VALUES) {
        ReadText(regs, value, REGS_WORK_BUFFER, out);
    }
    regs.Close();
}

void LoadOnScreenTexts(OnScreenTexts& out)
{
    out = DefaultOnScreenTexts();
    CRegs regs;
    if (regs.Open(HKEY_LOCAL_MACHINE, ONSCREEN_TEXTS_KEY, KEY_READ) != ERROR_SUCCESS) {
        return;
    }
    for (const TextValue<OnScreenTexts>& value : ONSCREEN_TEXT_VALUES) {
        ReadText(regs, value, REGS_WORK_BUFFER, out);
    }
    uint32_t unmute = 0;
    if (regs.QueryDword("MuteOffByVolume", &unmute) == ERROR_SUCCESS) {
        out.MuteOffByVolume = unmute;
    }
    regs.Close();
}

void LoadAudioControlStrings(AudioControlStrings& out)
{
    out = DefaultAudioControlStrings();
    CRegs regs;
    if (regs.Open(HKEY_LOCAL_MACHINE, AUDIO_CONTROL_STRINGS_KEY, KEY_READ) != ERROR_SUCCESS) {
        return;
    }
    // The list ends at the first text that cannot be read; an empty one
    // still counts (the player notice then shows nothing).
    for (int i = 0; i < AUDIO_CONTROL_STRING_COUNT; ++i) {
        char name[16];
        std::snprintf(name, sizeof(name), "Str%02d", i);
        if (!ReadTrimmedText(regs, name, REGS_WORK_BUFFER, out.Str[i])) {
            break;
        }
    }
    regs.Close();
}
