#include "config/config.h"

#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

namespace {

class OnScreenSettingsTest : public ::testing::Test {
protected:
    void SetUp() override { ResetConfigStoreForTests(); }
    void TearDown() override { ResetConfigStoreForTests(); }

    static void Machine(const char* name, uint32_t value)
    {
        RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, ONSCREEN_DEFAULT_KEY, name, value);
    }
    static void User(const char* name, uint32_t value)
    {
        RegistrySandbox::SetDword(HKEY_CURRENT_USER, ONSCREEN_USER_KEY, name, value);
    }

    RegistrySandbox sandbox;
};

TEST_F(OnScreenSettingsTest, BuiltInDefaults)
{
    CConfig config;
    OnScreenSettings s = CConfig::GetOnScreenSettings();
    EXPECT_EQ(s.Color, 65280u);
    EXPECT_EQ(s.Time, 3u);
    EXPECT_EQ(s.Size, 3u);
    EXPECT_EQ(s.OnScreen, 1u);
    wchar_t face[32] = {};
    ASSERT_GT(MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, s.FontFace, -1, face, 32), 0);
    EXPECT_STREQ(face, L"\xFF2D\xFF33 \x30B4\x30B7\x30C3\x30AF");  // ＭＳ ゴシック
}

TEST_F(OnScreenSettingsTest, UserOverridesMachineOverridesDefaults)
{
    Machine("Color", 0xFF0000);
    Machine("Time", 7);
    Machine("Size", 9);
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, ONSCREEN_DEFAULT_KEY, "FontFace", "  Machine Font ");
    User("Time", 5);
    RegistrySandbox::SetString(HKEY_CURRENT_USER, ONSCREEN_USER_KEY, "FontFace", "User Font");

    CConfig config;
    OnScreenSettings s = CConfig::GetOnScreenSettings();
    EXPECT_EQ(s.Color, 0xFF0000u) << "from the machine";
    EXPECT_EQ(s.Size, 9u) << "from the machine";
    EXPECT_EQ(s.Time, 5u) << "the user's wins";
    EXPECT_STREQ(s.FontFace, "User Font");
}

TEST_F(OnScreenSettingsTest, TimeAndSizeOutsideTheirRangesBecomeThree)
{
    User("Time", 0);
    User("Size", 0);
    {
        CConfig config;
        EXPECT_EQ(CConfig::GetOnScreenSettings().Time, 0u) << "0 is a valid time";
        EXPECT_EQ(CConfig::GetOnScreenSettings().Size, 3u);
    }
    ResetConfigStoreForTests();
    User("Time", 101);
    User("Size", 101);
    Machine("Time", 50);
    CConfig config;
    EXPECT_EQ(CConfig::GetOnScreenSettings().Time, 3u) << "out of range is 3, not the machine's value";
    EXPECT_EQ(CConfig::GetOnScreenSettings().Size, 3u);
}

TEST_F(OnScreenSettingsTest, OsdEnableHasTheLastWord)
{
    User("OnScreen", 1);
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, CONTROLS_KEY, "OSD_Enable", 0);
    CConfig config;
    EXPECT_EQ(CConfig::GetOnScreenSettings().OnScreen, 0u);
}

TEST_F(OnScreenSettingsTest, ReloadRereadsTheUserAndKeepsVanishedValues)
{
    User("Color", 0x0000FF);
    RegistrySandbox::SetString(HKEY_CURRENT_USER, ONSCREEN_USER_KEY, "FontFace", "First Font");
    CConfig config;

    RegistrySandbox::DeleteValue(HKEY_CURRENT_USER, ONSCREEN_USER_KEY, "FontFace");
    User("Color", 0x123456);
    CConfig::ReloadOnScreenSettings(0);
    EXPECT_EQ(CConfig::GetOnScreenSettings().Color, 0x0000FFu) << "only reason 1 reloads";

    CConfig::ReloadOnScreenSettings(1);
    OnScreenSettings s = CConfig::GetOnScreenSettings();
    EXPECT_EQ(s.Color, 0x123456u);
    EXPECT_STREQ(s.FontFace, "First Font") << "a value gone from the user's key keeps its value";

    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, CONTROLS_KEY, "OSD_Enable", 0);
    CConfig::ReloadOnScreenSettings(1);
    EXPECT_EQ(CConfig::GetOnScreenSettings().OnScreen, 0u) << "OSD_Enable is read again too";
}

TEST_F(OnScreenSettingsTest, ReadersNeverSeeAHalfRewrittenFont)
{
    CConfig config;
    const std::string longFont(120, 'L');
    std::atomic<bool> stop{false};
    std::atomic<int> torn{0};
    std::thread reader([&] {
        while (!stop) {
            OnScreenSettings s = CConfig::GetOnScreenSettings();
            size_t len = strnlen(s.FontFace, sizeof(s.FontFace));
            bool allLong = len == longFont.size() && std::strspn(s.FontFace, "L") == len;
            bool allShort = std::strcmp(s.FontFace, "S") == 0;
            bool fromDefault = s.FontFace[0] == '\x82';
            if (!allLong && !allShort && !fromDefault) {
                ++torn;
            }
        }
    });
    for (int i = 0; i < 300; ++i) {
        RegistrySandbox::SetString(HKEY_CURRENT_USER, ONSCREEN_USER_KEY, "FontFace", (i % 2) ? longFont : "S");
        CConfig::ReloadOnScreenSettings(1);
    }
    stop = true;
    reader.join();
    EXPECT_EQ(torn.load(), 0);
}

}  // namespace
