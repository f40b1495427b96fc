#include "config/config.h"

#include "config/display_probe.h"
#include "config/os_class.h"
#include "tests/support/journal_reader.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

class ConfigStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ResetConfigStoreForTests(); }
    void TearDown() override
    {
        ResetConfigStoreForTests();
        SetEnvironmentVariableA("KOVA_DSPPRB_INIT", nullptr);
        SetEnvironmentVariableA("KOVA_DSPPRB_MODE", nullptr);
    }

    static void SetControl(const char* name, uint32_t value)
    {
        RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, CONTROLS_KEY, name, value);
    }

    RegistrySandbox sandbox;
};

TEST_F(ConfigStoreTest, WithoutControlsKeyEveryDefaultHolds)
{
    CConfig config;
    const ControlSettings& c = config.GetControlSettings();
    EXPECT_EQ(c.Test_Mode, 1u) << "a machine without settings runs the test mode";
    EXPECT_EQ(c.IME_Disable, 1u);
    EXPECT_EQ(c.ApResume, 1u);
    EXPECT_EQ(c.Fmode, 6u);
    EXPECT_EQ(c.Vk_ApFore, 0x87u);
    EXPECT_EQ(c.RetryGetFeature, 5u);
    EXPECT_EQ(c.TimerGetFeatureSleep, 2000u);
    EXPECT_EQ(c.RetryStartBV, 3u);
    EXPECT_EQ(c.TimerStartBV, 60000u);
    EXPECT_EQ(c.RetryDirectBoot, 3u);
    EXPECT_EQ(c.TimerDirectBoot, 3000u);
    EXPECT_EQ(c.Util_Enable + c.Help_Enable + c.Exit_Enable, 0u) << "no tray menu items";
    EXPECT_EQ(c.Tesk_Enable + c.Icon + c.Tip_Enable + c.RFSupportFlags + c.MagicKey_SendSighInUser, 0u);
}

TEST_F(ConfigStoreTest, ValuesReplaceDefaultsOnlyWhenReadable)
{
    SetControl("Test_Mode", 0);
    SetControl("Fmode", 0x3E);
    SetControl("RFSupportFlags", 1);
    RegistrySandbox::SetBinary(HKEY_LOCAL_MACHINE, CONTROLS_KEY, "TimerDirectBoot", {0xE8, 0x03, 0, 0});
    RegistrySandbox::SetBinary(HKEY_LOCAL_MACHINE, CONTROLS_KEY, "RetryDirectBoot", {9, 0, 0, 0, 0, 0, 0, 0});
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, CONTROLS_KEY, "ApResume", "0");

    CConfig config;
    const ControlSettings& c = config.GetControlSettings();
    EXPECT_EQ(c.Test_Mode, 0u);
    EXPECT_EQ(c.Fmode, 0x3Eu);
    EXPECT_EQ(c.RFSupportFlags, 1u);
    EXPECT_EQ(c.TimerDirectBoot, 1000u) << "a 4-byte binary value is a number";
    EXPECT_EQ(c.RetryDirectBoot, 3u) << "8 bytes are not a number";
    EXPECT_EQ(c.ApResume, 1u) << "a text is no number: the default stays";
}

TEST_F(ConfigStoreTest, IconSetsAboveTwoReadAsNone)
{
    for (uint32_t stored : {3u, 0xFFFFFFFFu, 2u, 1u}) {
        ResetConfigStoreForTests();
        SetControl("Icon", stored);
        CConfig config;
        EXPECT_EQ(config.GetControlSettings().Icon, stored <= 2 ? stored : 0u) << stored;
    }
}

TEST_F(ConfigStoreTest, LoadedOnceByTheFirstConstructionAndShared)
{
    SetControl("Fmode", 2);
    auto first = std::make_unique<CConfig>();
    EXPECT_EQ(CConfig::InstanceCount(), 1);

    SetControl("Fmode", 4);
    CConfig second;
    EXPECT_EQ(CConfig::InstanceCount(), 2);
    EXPECT_EQ(second.GetControlSettings().Fmode, 2u) << "later constructions only count";

    first.reset();
    second.~CConfig();
    new (&second) CConfig();
    EXPECT_EQ(CConfig::InstanceCount(), 1);
    EXPECT_EQ(second.GetControlSettings().Fmode, 2u) << "never loaded again in the same process";
}

TEST_F(ConfigStoreTest, OsClassComesFromTheReportedVersion)
{
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    ASSERT_TRUE(GetVersionExA(&info));
#pragma GCC diagnostic pop
    CConfig config;
    EXPECT_EQ(config.GetOsClass(), ClassifyOsVersion(info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber));
    EXPECT_GT(config.GetOsClass(), 14u) << "the test prefix plays Windows 10";
}

TEST_F(ConfigStoreTest, TunerDeckNeedsAReadableAppName)
{
    {
        CConfig config;
        EXPECT_FALSE(config.IsTunerDeckInstalled());
    }
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\Pellar\\TunerDeck", "AppName", 1);
    EXPECT_FALSE(CConfig::IsTunerDeckInstalled()) << "a number is no name";
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Pellar\\TunerDeck", "AppName", std::string(129, 'n'));
    EXPECT_FALSE(CConfig::IsTunerDeckInstalled()) << "longer than 128 characters";
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Pellar\\TunerDeck", "AppName", "TunerDeck");
    EXPECT_TRUE(CConfig::IsTunerDeckInstalled());
}

// The display probe is the stand-in DSPPRB.dll staged in the program folder;
// what it answers is set through the environment.
TEST_F(ConfigStoreTest, ProbeIsInitialisedOnceAndFinalisedWithTheLastInstance)
{
    ScopedJournal journal;
    SetEnvironmentVariableA("KOVA_DSPPRB_MODE", "2");
    {
        CConfig a;
        CConfig b;
        EXPECT_EQ(journal.Calls("DSPPRB.dll", "DSPPRB_Initialize").size(), 1u);
        EXPECT_EQ(CConfig::QueryDisplayMode(), 2u);
        EXPECT_EQ(journal.Calls("DSPPRB.dll", "DSPPRB_Finalize").size(), 0u);
    }
    EXPECT_EQ(journal.Calls("DSPPRB.dll", "DSPPRB_Finalize").size(), 1u);
    EXPECT_EQ(CConfig::QueryDisplayMode(), 0u) << "released with the last instance";
    CConfig again;
    EXPECT_EQ(journal.Calls("DSPPRB.dll", "DSPPRB_Initialize").size(), 1u) << "initialised once per process";
}

TEST_F(ConfigStoreTest, FailingProbeIsFreedAndReportsNoMode)
{
    ScopedJournal journal;
    SetEnvironmentVariableA("KOVA_DSPPRB_INIT", "-2147467259");  // E_FAIL
    {
        CConfig config;
        EXPECT_EQ(CConfig::QueryDisplayMode(), 0u);
        EXPECT_EQ(journal.Calls("DSPPRB.dll", "DSPPRB_GetDisplayMode").size(), 0u);
    }
    EXPECT_EQ(journal.Calls("DSPPRB.dll", "DSPPRB_Finalize").size(), 0u) << "a failed probe is not finalised";
    EXPECT_EQ(GetModuleHandleA("DSPPRB.dll"), nullptr) << "and not kept loaded";
}

TEST_F(ConfigStoreTest, ProbeAtZeroIsKept)
{
    SetEnvironmentVariableA("KOVA_DSPPRB_INIT", "0");
    SetEnvironmentVariableA("KOVA_DSPPRB_MODE", "5");
    CConfig config;
    EXPECT_NE(GetModuleHandleA("DSPPRB.dll"), nullptr);
    EXPECT_EQ(CConfig::QueryDisplayMode(), 5u);
}

TEST_F(ConfigStoreTest, MissingProbeLeavesNoMode)
{
    DisplayProbe probe;
    probe.Bind(OS_CLASS_WIN7);
    EXPECT_EQ(probe.module, nullptr) << "never loaded before Windows 8";
    EXPECT_EQ(probe.QueryDisplayMode(OS_CLASS_WIN7), 0u);
}

TEST(DisplayModeTest, ForegroundClassesRefineTheDesktopMode)
{
    EXPECT_EQ(RefineDisplayMode("Windows.UI.Core.CoreWindow"), 2u);
    EXPECT_EQ(RefineDisplayMode("NativeHWNDHost"), 3u);
    EXPECT_EQ(RefineDisplayMode("Shell_CharmWindow"), 3u);
    EXPECT_EQ(RefineDisplayMode("SearchPane"), 3u);
    EXPECT_EQ(RefineDisplayMode("Shell_Dialog"), 3u);
    EXPECT_EQ(RefineDisplayMode("Shell_TrayWnd"), 1u);
    EXPECT_EQ(RefineDisplayMode("searchpane2"), 1u) << "compared exactly";
    EXPECT_EQ(RefineDisplayMode(""), 1u);
}

}  // namespace
