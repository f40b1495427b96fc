#include "config/app_tables.h"

#include "config/config.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class AppTablesTest : public ::testing::Test {
protected:
    static void Set(const char* key, const char* name, const std::string& text)
    {
        RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, key, name, text);
    }

    RegistrySandbox sandbox;
};

TEST_F(AppTablesTest, BrowserListEndsAtTheFirstGapOrBlankClass)
{
    Set(BROWSER_CLASSES_KEY, "IE1_Class", "  IEFrame ");
    Set(BROWSER_CLASSES_KEY, "IE2_Class", " \t ");
    Set(BROWSER_CLASSES_KEY, "IE3_Class", "MozillaWindowClass");
    BrowserClasses browsers{};
    LoadBrowserClasses(browsers);
    ASSERT_EQ(browsers.Count, 1) << "IE2 is empty after trimming: IE3 is never used";
    EXPECT_STREQ(browsers.Class[0], "IEFrame");

    Set(BROWSER_CLASSES_KEY, "IE2_Class", "Chrome_WidgetWin_1");
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, BROWSER_CLASSES_KEY, "IE4_Class", 4);
    Set(BROWSER_CLASSES_KEY, "IE5_Class", "Five");
    LoadBrowserClasses(browsers);
    ASSERT_EQ(browsers.Count, 3) << "a number in IE4 is a gap";
    EXPECT_STREQ(browsers.Class[2], "MozillaWindowClass");
}

TEST_F(AppTablesTest, BrowserListHoldsFiveAtMost)
{
    for (int n = 1; n <= 7; ++n) {
        std::string name = "IE" + std::to_string(n) + "_Class";
        Set(BROWSER_CLASSES_KEY, name.c_str(), "Class" + std::to_string(n));
    }
    BrowserClasses browsers{};
    LoadBrowserClasses(browsers);
    ASSERT_EQ(browsers.Count, BROWSER_CLASS_MAX);
    EXPECT_STREQ(browsers.Class[4], "Class5");
}

TEST_F(AppTablesTest, SpecialAppsNeedBothHalves)
{
    Set(SPECIAL_APPS_KEY, "ApName1", " player.exe ");
    Set(SPECIAL_APPS_KEY, "ApOpt1", " /fullscreen ");
    Set(SPECIAL_APPS_KEY, "ApName2", "viewer.exe");
    Set(SPECIAL_APPS_KEY, "ApOpt2", "");
    Set(SPECIAL_APPS_KEY, "ApName3", "lonely.exe");
    Set(SPECIAL_APPS_KEY, "ApName4", "late.exe");
    Set(SPECIAL_APPS_KEY, "ApOpt4", "/late");
    SpecialApps apps{};
    LoadSpecialApps(apps);
    ASSERT_EQ(apps.Count, 2) << "ApOpt3 is missing: the list ends there";
    EXPECT_STREQ(apps.Apps[0].Name, "player.exe");
    EXPECT_STREQ(apps.Apps[0].Option, "/fullscreen");
    EXPECT_STREQ(apps.Apps[1].Name, "viewer.exe");
    EXPECT_STREQ(apps.Apps[1].Option, "") << "an empty option still counts";
}

TEST_F(AppTablesTest, PlayerWindowsKeepTitleBlanksAndDefaultToMethodTwo)
{
    PlayerWindows players{};
    LoadPlayerWindows(players);
    EXPECT_STREQ(players.Cd.Class, "");
    EXPECT_STREQ(players.Dvd.Title, "");
    EXPECT_EQ(players.Cd.Control, 2u);
    EXPECT_EQ(players.Dvd.Control, 2u);

    Set(PLAYER_WINDOWS_KEY, "CD_CLASS", " CdPlayerClass ");
    Set(PLAYER_WINDOWS_KEY, "CD_TITLE", " CD Player ");
    Set(PLAYER_WINDOWS_KEY, "DVD_CLASS", "\tDvdClass");
    Set(PLAYER_WINDOWS_KEY, "DVD_TITLE", "DVD\t");
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, PLAYER_WINDOWS_KEY, "CD_CONTROL", 1);
    Set(PLAYER_WINDOWS_KEY, "DVD_CONTROL", "1");
    LoadPlayerWindows(players);
    EXPECT_STREQ(players.Cd.Class, "CdPlayerClass");
    EXPECT_STREQ(players.Cd.Title, " CD Player ");
    EXPECT_STREQ(players.Dvd.Class, "DvdClass");
    EXPECT_STREQ(players.Dvd.Title, "DVD\t");
    EXPECT_EQ(players.Cd.Control, 1u);
    EXPECT_EQ(players.Dvd.Control, 2u) << "a text is no number";
}

TEST_F(AppTablesTest, BrivueIsInstalledWhenItsAppPathKeyExists)
{
    BrivueInstallation brivue{};
    LoadBrivueInstallation(brivue);
    EXPECT_EQ(brivue.BrivueInstalled, 0u);
    EXPECT_STREQ(brivue.BrivueInstallPath, "C:\\Program Files\\Orlan\\Brivue");

    RegistrySandbox::CreateKey(HKEY_LOCAL_MACHINE, BRIVUE_APP_PATH_KEY);
    LoadBrivueInstallation(brivue);
    EXPECT_EQ(brivue.BrivueInstalled, 1u) << "the key alone is enough";
    EXPECT_STREQ(brivue.BrivueInstallPath, "C:\\Program Files\\Orlan\\Brivue");

    Set(BRIVUE_APP_PATH_KEY, "Path", std::string(129, 'p'));
    LoadBrivueInstallation(brivue);
    EXPECT_STREQ(brivue.BrivueInstallPath, "C:\\Program Files\\Orlan\\Brivue") << "129 characters are ignored";

    Set(BRIVUE_APP_PATH_KEY, "Path", "  D:\\TV\\Brivue  ");
    LoadBrivueInstallation(brivue);
    EXPECT_STREQ(brivue.BrivueInstallPath, "D:\\TV\\Brivue");
}

TEST_F(AppTablesTest, TablesAreReachableFromTheStore)
{
    ResetConfigStoreForTests();
    Set(BROWSER_CLASSES_KEY, "IE1_Class", "IEFrame");
    Set(SPECIAL_APPS_KEY, "ApName1", "a.exe");
    Set(SPECIAL_APPS_KEY, "ApOpt1", "/a");
    Set(PLAYER_WINDOWS_KEY, "DVD_CLASS", "DvdClass");
    RegistrySandbox::CreateKey(HKEY_LOCAL_MACHINE, BRIVUE_APP_PATH_KEY);
    {
        CConfig config;
        EXPECT_EQ(config.GetBrowserClasses().Count, 1);
        EXPECT_EQ(config.GetSpecialApps().Count, 1);
        EXPECT_STREQ(config.GetPlayerWindows().Dvd.Class, "DvdClass");
        EXPECT_EQ(config.GetPlayerWindows().Cd.Control, 2u);
        EXPECT_EQ(config.GetBrivueInstallation().BrivueInstalled, 1u);
    }
    ResetConfigStoreForTests();
}

}  // namespace
