#include "config/texts.h"

#include "config/config.h"
#include "tests/config/cp932.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The Sonra notice for an application name, as the user must read it.
std::wstring SonraNotice(const std::wstring& name)
{
    return L"\x300c" + name + L"\x300d\x304c\x52d5\x4f5c\x3057\x3066\x3044\x307e\x305b\x3093\x3002\r\n\x300cHarborview" +
           L"\x300d\x304b\x3089\x300c" + name + L"\x300d\x3092\x8d77\x52d5\x3057\x305f\x5f8c\x3001\x300c" + name +
           L"\x300d\x306e\x753b\x9762\x3092\x9589\x3058\x3066\x304f\x3060\x3055\x3044\x3002";
}

const std::wstring SONRA_APP = L"\x30ea\x30e2\x30b3\x30f3\x30e6\x30fc\x30c6\x30a3\x30ea\x30c6\x30a3";  // リモコンユーティリティ

class TextsTest : public ::testing::Test {
protected:
    static void Remote(const char* name, const std::string& text, DWORD type = REG_SZ)
    {
        RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, REMOTE_TEXTS_KEY, name, text, type);
    }

    RegistrySandbox sandbox;
    RemoteTexts remote{};
};

TEST_F(TextsTest, JapaneseDefaultsAreExactCodePage932)
{
    LoadRemoteTexts(remote);
    // 現在の環境では、テレビ・ビデオの機能をご利用できません。
    EXPECT_EQ(FromCodePage932(remote.BVErrString1),
              L"\x73fe\x5728\x306e\x74b0\x5883\x3067\x306f\x3001\x30c6\x30ec\x30d3\x30fb\x30d3\x30c7\x30aa\x306e\x6a5f"
              L"\x80fd\x3092\x3054\x5229\x7528\x3067\x304d\x307e\x305b\x3093\x3002");
    // Cinevault操作ガイドで、画面の解像度や同時に動作しないアプリケーションなどをご確認ください。
    EXPECT_EQ(FromCodePage932(remote.BVErrString2),
              L"Cinevault\x64cd\x4f5c\x30ac\x30a4\x30c9\x3067\x3001\x753b\x9762\x306e\x89e3\x50cf\x5ea6\x3084\x540c"
              L"\x6642\x306b\x52d5\x4f5c\x3057\x306a\x3044\x30a2\x30d7\x30ea\x30b1\x30fc\x30b7\x30e7\x30f3\x306a\x3069"
              L"\x3092\x3054\x78ba\x8a8d\x304f\x3060\x3055\x3044\x3002");
    // Halcyonは起動できませんでした。
    EXPECT_EQ(FromCodePage932(remote.NoAppStringHal),
              L"Halcyon\x306f\x8d77\x52d5\x3067\x304d\x307e\x305b\x3093\x3067\x3057\x305f\x3002");
    EXPECT_EQ(FromCodePage932(remote.AppNameSonra), SONRA_APP);
    // このボタンはこの機種では使用できません。
    EXPECT_EQ(FromCodePage932(remote.NoAppStringSonra),
              L"\x3053\x306e\x30dc\x30bf\x30f3\x306f\x3053\x306e\x6a5f\x7a2e\x3067\x306f\x4f7f\x7528\x3067\x304d\x307e"
              L"\x305b\x3093\x3002");
    // Built from the default name: 156 bytes, more than one text field.
    EXPECT_EQ(FromCodePage932(remote.UnInstStringSonra), SonraNotice(SONRA_APP));

    AudioControlStrings audio{};
    LoadAudioControlStrings(audio);
    const wchar_t* expected[AUDIO_CONTROL_STRING_COUNT] = {
        L"\x6b21\x306e\x30c8\x30e9\x30c3\x30af",  // 次のトラック
        L"\x524d\x306e\x30c8\x30e9\x30c3\x30af",  // 前のトラック
        L"\x505c\x6b62",                          // 停止
        L"\x518d\x751f",                          // 再生
        L"\x65e9\x9001\x308a",                    // 早送り
        L"\x5dfb\x304d\x623b\x3057",              // 巻き戻し
        L"\x4e00\x6642\x505c\x6b62",              // 一時停止
    };
    for (int i = 0; i < AUDIO_CONTROL_STRING_COUNT; ++i) {
        EXPECT_EQ(FromCodePage932(audio.Str[i]), expected[i]) << "Str0" << i;
    }
}

TEST_F(TextsTest, CombinedMessageIsWholeEvenWithoutTheDescriptionKey)
{
    LoadRemoteTexts(remote);
    EXPECT_STREQ(remote.NoAppMessage,
                 "This function isn't available.\nPush a [analog] button when you use a television.\n"
                 "Establish a start program by the remote controller utility.");
}

TEST_F(TextsTest, StoredTextsAreTrimmedExceptTheUtilityTitle)
{
    Remote("Util_Title", " KovaUtil \t");
    Remote("Help_Title", " Help Window \t");
    Remote("NoAppString2", "\tsecond line  ");
    Remote("TunerDeck_Title", "Deck");
    LoadRemoteTexts(remote);
    EXPECT_STREQ(remote.Util_Title, " KovaUtil \t") << "compared with a window title as it is";
    EXPECT_STREQ(remote.Help_Title, "Help Window");
    EXPECT_STREQ(remote.TunerDeck_Title, "Deck");
    EXPECT_STREQ(remote.NoAppMessage,
                 "This function isn't available.\nsecond line\n"
                 "Establish a start program by the remote controller utility.")
        << "the message is built from the texts as read";
}

TEST_F(TextsTest, RemoteTextsHaveA128CharacterLimit)
{
    Remote("Menu_Util", std::string(128, 'u'));
    Remote("Menu_Help", std::string(129, 'h'));
    Remote("Menu_Exit", "  " + std::string(127, 'x'));  // 129 with its blanks: too long before trimming
    Remote("Menu_Msg1", "expand", REG_EXPAND_SZ);
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, REMOTE_TEXTS_KEY, "Menu_Msg2", 7);
    LoadRemoteTexts(remote);
    EXPECT_EQ(std::string(remote.Menu_Util), std::string(127, 'u')) << "128 accepted, cut to 127";
    EXPECT_STREQ(remote.Menu_Help, "Help(&H)") << "129 ignored";
    EXPECT_STREQ(remote.Menu_Exit, "Exit(&X)");
    EXPECT_STREQ(remote.Menu_Msg1, "Stop the Orlan Remote Controller.") << "REG_EXPAND_SZ is no text";
    EXPECT_STREQ(remote.Menu_Msg2, "Continue?") << "a number is no text";
}

TEST_F(TextsTest, KeyboardAndOnScreenTextsTake520Characters)
{
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, KEYBOARD_TEXTS_KEY, "TESK_Cancel", std::string(520, 'c'));
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, KEYBOARD_TEXTS_KEY, "TESK_Cancel2", std::string(521, 'd'));
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, KEYBOARD_TEXTS_KEY, "MENU_EXIT", "  End  ");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, ONSCREEN_TEXTS_KEY, "MuteOnString", std::string(300, 'm'));
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, ONSCREEN_TEXTS_KEY, "MuteOffString", std::string(521, 'o'));
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, ONSCREEN_TEXTS_KEY, "MuteOffByVolume", 1);
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, ONSCREEN_TEXTS_KEY, "CantUseNightMode", "Not here");

    KeyboardTexts keyboard{};
    LoadKeyboardTexts(keyboard);
    EXPECT_EQ(std::string(keyboard.TESK_Cancel), std::string(127, 'c')) << "520 accepted, cut to 127";
    EXPECT_STREQ(keyboard.TESK_Cancel2, "continue ?") << "521 ignored";
    EXPECT_STREQ(keyboard.MENU_EXIT, "End");

    OnScreenTexts onScreen{};
    LoadOnScreenTexts(onScreen);
    EXPECT_EQ(std::string(onScreen.MuteOnString), std::string(127, 'm'));
    EXPECT_STREQ(onScreen.MuteOffString, "Mute OFF");
    EXPECT_EQ(onScreen.MuteOffByVolume, 1u);
    EXPECT_STREQ(onScreen.CantUseNightMode, "Not here");
}

TEST_F(TextsTest, CuttingKeepsDoubleByteCharactersWhole)
{
    std::string hiragana;
    for (int i = 0; i < 100; ++i) {
        hiragana += "\x82\xa0";  // あ
    }
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, KEYBOARD_TEXTS_KEY, "TESK_Cancel", hiragana);
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, KEYBOARD_TEXTS_KEY, "TESK_Cancel2", "a" + hiragana);
    KeyboardTexts keyboard{};
    LoadKeyboardTexts(keyboard);
    EXPECT_EQ(FromCodePage932(keyboard.TESK_Cancel), std::wstring(63, L'\x3042')) << "126 bytes, no lone lead byte";
    EXPECT_EQ(FromCodePage932(keyboard.TESK_Cancel2), L"a" + std::wstring(63, L'\x3042')) << "127 bytes";
}

TEST_F(TextsTest, SonraNoticeFollowsTheStoredName)
{
    Remote("AppNameSonra", " X ");
    LoadRemoteTexts(remote);
    EXPECT_STREQ(remote.AppNameSonra, "X");
    EXPECT_EQ(FromCodePage932(remote.UnInstStringSonra), SonraNotice(L"X"));
}

TEST_F(TextsTest, SonraCaptionOverridesTheStoredName)
{
    Remote("AppNameSonra", "X");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, SONRA2_KEY, "CaptionName", "Effects");
    LoadRemoteTexts(remote);
    EXPECT_STREQ(remote.AppNameSonra, "Effects");
    EXPECT_EQ(FromCodePage932(remote.UnInstStringSonra), SonraNotice(L"Effects"));
}

TEST_F(TextsTest, SonraCaptionWithoutStoredNameAndAnUnreadableName)
{
    // A name of the wrong type is not read, so it does not rebuild; the
    // caption still does.
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, REMOTE_TEXTS_KEY, "AppNameSonra", 5);
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, SONRA2_KEY, "CaptionName", std::string(129, 'c'));
    LoadRemoteTexts(remote);
    EXPECT_EQ(FromCodePage932(remote.UnInstStringSonra), SonraNotice(SONRA_APP)) << "129 characters are ignored";

    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, SONRA2_KEY, "CaptionName", "Y");
    LoadRemoteTexts(remote);
    EXPECT_EQ(FromCodePage932(remote.UnInstStringSonra), SonraNotice(L"Y"));
}

TEST_F(TextsTest, StoredNoticeReplacesTheBuiltOne)
{
    Remote("AppNameSonra", "X");
    Remote("UnInstStringSonra", std::string(128, 'n'));
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, SONRA2_KEY, "CaptionName", "Y");
    Remote("NoAppStringSonra", "No effects");
    LoadRemoteTexts(remote);
    EXPECT_EQ(std::string(remote.UnInstStringSonra), std::string(127, 'n'));
    EXPECT_STREQ(remote.AppNameSonra, "Y");
    EXPECT_STREQ(remote.NoAppStringSonra, "No effects");
}

TEST_F(TextsTest, WithoutTheDescriptionKeyTheCaptionIsNotConsulted)
{
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, SONRA2_KEY, "CaptionName", "Y");
    LoadRemoteTexts(remote);
    EXPECT_EQ(FromCodePage932(remote.AppNameSonra), SONRA_APP);
    EXPECT_EQ(FromCodePage932(remote.UnInstStringSonra), SonraNotice(SONRA_APP));
}

TEST_F(TextsTest, AudioStringsStopAtTheFirstUnreadable)
{
    constexpr char KEY[] = "Software\\Orlan\\OrlanTesk\\AudioControl\\DefaultString";
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, KEY, "Str00", " Next ");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, KEY, "Str01", " \t ");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, KEY, "Str03", "Play");
    AudioControlStrings audio{};
    LoadAudioControlStrings(audio);
    EXPECT_STREQ(audio.Str[0], "Next");
    EXPECT_STREQ(audio.Str[1], "") << "a blank text is read and does not stop the list";
    EXPECT_EQ(FromCodePage932(audio.Str[2]), L"\x505c\x6b62") << "Str02 missing: default";
    EXPECT_EQ(FromCodePage932(audio.Str[3]), L"\x518d\x751f") << "behind the gap: never read";

    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, KEY, "Str02", 2);
    LoadAudioControlStrings(audio);
    EXPECT_STREQ(audio.Str[3], "\x8d\xc4\x90\xb6") << "a number is a gap as well";
}

TEST_F(TextsTest, EveryTextIsReachableFromTheStore)
{
    ResetConfigStoreForTests();
    Remote("Kova_Title", "Title");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, KEYBOARD_TEXTS_KEY, "MENU_HELP", "Hilfe");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, ONSCREEN_TEXTS_KEY, "MuteOnString", "Leise");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, AUDIO_CONTROL_STRINGS_KEY, "Str00", "Weiter");
    {
        CConfig config;
        EXPECT_STREQ(config.GetRemoteTexts().Kova_Title, "Title");
        EXPECT_STREQ(config.GetKeyboardTexts().MENU_HELP, "Hilfe");
        EXPECT_STREQ(config.GetOnScreenTexts().MuteOnString, "Leise");
        EXPECT_STREQ(config.GetAudioControlStrings().Str[0], "Weiter");
    }
    ResetConfigStoreForTests();
}

}  // namespace
