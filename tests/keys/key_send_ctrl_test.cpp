// The working key controller in-process, one test per button table: each
// row's press and release, and what the registered target window, the CD
// player, the launch journal, the display and the message box received.
// Nothing here touches the window in front or names a window the whole
// session shares; those rows are in key_send_session_test.cpp.

#include "keys/key_send_ctrl.h"

#include "base/app_context.h"
#include "config/config.h"
#include "config/os_class.h"
#include "launch/kova_lnch_ctrl.h"

#include "tests/keys/key_send_world.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

class KeySendTest : public ::testing::Test {
protected:
    KeySendWorld world;
};

TEST_F(KeySendTest, ConsumerKeys)
{
    world.Build();
    world.ExpectRows(&CKeySendCtrl::OnConsumerKey,
                     {
                         {64, {Post(1, 0, 20)}, {}},
                         {96, {Post(1, 0, 25)}, {}},
                         {141, {Post(1, 0, 16)}, {}},
                         {156, {Post(2, 0, 0x10005)}, {}},
                         {157, {Post(2, 0, 0x20005)}, {}},
                         {176, {PlayerIndex(7)}, {}},
                         {177, {PlayerIndex(8)}, {}},
                         {178, {Post(1, 0, 1)}, {}},
                         // A player runs: fast forward and rewind, then cancel.
                         {179, {PlayerIndex(4)}, {PlayerIndex(6)}},
                         {180, {PlayerIndex(5)}, {PlayerIndex(6)}},
                         // No browser in front: only the post.
                         {194, {Post(1, 0, 2)}, {}},
                         {521, {Post(1, 0, 27)}, {}},
                         {44, {}, {}},
                         {205, {}, {}},
                         {551, {}, {}},
                     },
                     "consumer");

    // The mute key shows the mixer's state once Windows has applied it.
    world.Keys().OnConsumerKey(226, 1);
    world.Keys().OnConsumerKey(226, 0);
    EXPECT_TRUE(WaitUntil([&] {
        return !world.Launch().Journal().Calls("OSDPIC.dll", "OnScreen_ImageA").empty() ||
               !world.Launch().Journal().Calls("orlanosd.dll", "OnScreen_DisplayA").empty();
    })) << "the mute key showed nothing";
}

TEST_F(KeySendTest, FunctionKeys)
{
    world.Build();
    world.ExpectRows(&CKeySendCtrl::OnFunctionKey,
                     {
                         {16, {Post(1, 0, 27)}, {}},
                         {32, {Post(8, 0, 8)}, {}},
                         {64, {Post(8, 0, 7)}, {}},
                         {90, {}, {}},
                         {4, {}, {}},
                     },
                     "function");
}

TEST_F(KeySendTest, ApplicationKeys)
{
    world.Build();
    world.ExpectRows(&CKeySendCtrl::OnApplicationKey,
                     {
                         {1, {Started("halcyon.exe"), Shown(HALCYON_PROFILE)}, {}},
                         {2, {Post(1, 0, 4105), Started("dvd.exe"), Shown(DVD_PROFILE)}, {}},
                         {4, {}, {}},
                         {8, {}, {}},
                         {16, {Started("tv.exe"), Shown(TV_PROFILE)}, {}},
                         {32, {}, {}},
                         {64, {}, {}},
                         {128, {}, {}},
                         {3, {}, {}},
                     },
                     "application");
}

TEST_F(KeySendTest, DigitKeys)
{
    // NumCode_Enable is off: the digits 1 to 9 type nothing.
    world.Build();
    const std::vector<KeyRowCase> pressOnly = {
        {1, {}, {}},
        {4, {}, {}},
        {256, {}, {}},
        {512, {Post(2, 0, 0x2000004)}, {}},
        {1024, {Post(2, 0, 0x4000004)}, {}},
        {2048, {Post(2, 0, 0x8000004)}, {}},
    };
    world.ExpectRows(&CKeySendCtrl::OnDigitKey, pressOnly, "digit");

    world.SetControl("BSFlags", 2);
    world.Build();
    world.ExpectRows(&CKeySendCtrl::OnDigitKey,
                     {
                         {4, {}, {}},
                         {512, {Post(2, 0, 0x2000004)}, {Post(2, 0, 0x2000051)}},
                         {2048, {Post(2, 0, 0x8000004)}, {Post(2, 0, 0x8000051)}},
                     },
                     "digit with BSFlags");
}

TEST_F(KeySendTest, ModeKeys)
{
    world.Build();
    world.ExpectRows(&CKeySendCtrl::OnModeKey,
                     {
                         {1, {Post(16, 0, 15)}, {}},
                         {5, {Post(1, 0, 18)}, {}},
                         {6, {Post(1, 0, 28)}, {}},
                         {7, {}, {}},
                         {8, {Started("tv.exe"), Shown(TV_PROFILE)}, {}},
                         // A player runs: it winds, then the targets hear of it.
                         {10, {PlayerIndex(5), Post(2, 0, 0x8000000C)}, {PlayerIndex(6), Post(2, 0, 0x80000023)}},
                         {12, {PlayerIndex(4), Post(2, 0, 0x8000000D)}, {PlayerIndex(6), Post(2, 0, 0x80000023)}},
                     },
                     "mode");
}

TEST_F(KeySendTest, MediaCenterKeys)
{
    world.OpenMediaCenter();
    world.Build();
    world.ExpectRows(&CKeySendCtrl::OnMediaCenterKey,
                     {
                         {13, {Post(1, 0, 4109)}, {}},
                         {36, {Post(1, 0, 26)}, {}},
                         {39, {Post(16, 0, 22)}, {}},
                         {44, {Post(32, 0, 50)}, {}},
                         {60, {}, {}},
                         {61, {Post(1, 0, 4107), MAXIMIZED, Shown(MEDIA_CENTER_B)}, {}},
                         {62, {Post(2, 0, 0x2000004)}, {Post(2, 0, 0x2000051)}},
                         {63, {Post(2, 0, 0x4000004)}, {Post(2, 0, 0x4000051)}},
                         {64, {Post(2, 0, 0x8000004)}, {Post(2, 0, 0x8000051)}},
                         {65, {Post(1, 0, 25)}, {}},
                         {66, {Post(1, 0, 19)}, {}},
                         {71, {Post(1, 0, 4106), MAXIMIZED, Shown(MEDIA_CENTER_A)}, {}},
                         {72, {Post(16, 0, 67)}, {}},
                         {73, {Post(1, 0, 4108), MAXIMIZED, Shown(MEDIA_CENTER_C)}, {}},
                         {76, {Post(8, 0, 8)}, {}},
                         {77, {Post(8, 0, 7)}, {}},
                         {90, {Post(8, 0, 11)}, {}},
                         {91, {Post(4, 0, 0x10006)}, {Post(4, 0, 0x10050)}},
                         {92, {Post(4, 0, 0x80006)}, {Post(4, 0, 0x80050)}},
                         {93, {Post(4, 0, 0x40006)}, {Post(4, 0, 0x40050)}},
                         {94, {Post(4, 0, 0x20006)}, {Post(4, 0, 0x20050)}},
                     },
                     "media center");
}

TEST_F(KeySendTest, ExtraKeys)
{
    world.OpenMediaCenter();
    world.Build();
    world.ExpectRows(&CKeySendCtrl::OnExtraKey,
                     {
                         {32, {Post(32, 0, 48)}, {}},
                         {33, {Post(32, 0, 0x10031)}, {}},
                         {34, {Post(32, 0, 0x20031)}, {}},
                         {35, {}, {}},
                         {89, {Post(32, 0, 48)}, {}},
                         {90, {Post(1, 0, 30)}, {}},
                         {91, {Post(32, 0, 52)}, {}},
                         // Nothing of TV runs: the TV key starts its profile.
                         {95, {Started("tvother.exe"), Shown(TV_OTHER_PROFILE)}, {}},
                     },
                     "extra");

    // The TV key by what runs; one command per button, on its press.
    {
        auto tunerDeck = world.OpenTunerDeck();
        world.ExpectRows(&CKeySendCtrl::OnExtraKey, {{95, {Post(1, 0, 29), MINIMIZED}, {}}}, "TunerDeck runs");
        auto brivue = world.OpenBrivue();
        world.ExpectRows(&CKeySendCtrl::OnExtraKey, {{95, {Post(1, 0, 29)}, {}}}, "Brivue runs, desktop in front");
        // A full-screen app in front on Windows 8 and later: AltRunner (not
        // installed here) and the other command.
        SetEnvironmentVariableA("KOVA_DSPPRB_MODE", "2");
        world.ExpectRows(&CKeySendCtrl::OnExtraKey, {{95, {Post(1, 0, 70)}, {}}}, "Brivue runs, app in front");
        OverrideOsClassForTests(OS_CLASS_WIN7);
        world.ExpectRows(&CKeySendCtrl::OnExtraKey, {{95, {Post(1, 0, 29)}, {}}}, "Brivue runs on Windows 7");
        SetEnvironmentVariableA("KOVA_DSPPRB_MODE", nullptr);
    }

    // BSFlags 1: the night-mode key shows its notice instead.
    world.SetControl("BSFlags", 1);
    world.Build();
    world.ExpectRows(&CKeySendCtrl::OnExtraKey,
                     {{91, {Shown(CConfig::GetOnScreenTexts().CantUseNightMode)}, {}}}, "extra with BSFlags 1");
}

TEST_F(KeySendTest, PanelKeys)
{
    world.Build();
    world.ExpectRows(&CKeySendCtrl::OnPanelKey,
                     {
                         {1, {Started("halcyon.exe"), Shown(HALCYON_PROFILE)}, {}},
                         {2, {Post(8, 0, 4098)}, {}},
                         {3, {Post(8, 0, 4099)}, {}},
                         {4, {Post(8, 0, 4100)}, {}},
                         {5, {Post(32, 0, 4104)}, {}},
                         {6, {Post(32, 0, 4101)}, {}},
                         {7, {Post(32, 0, 4102)}, {}},
                         {8, {Post(32, 0, 4103)}, {}},
                         {9, {}, {}},
                     },
                     "panel");
    auto halcyon = world.OpenHalcyon();
    world.ExpectRows(&CKeySendCtrl::OnPanelKey, {{1, {Post(1, 0, 4097)}, {}}}, "panel, Halcyon runs");
}

TEST_F(KeySendTest, RemoteButtons)
{
    // From the receiver's own collection: always accepted. Without the
    // keyboard features there is no one-touch launcher; the browser keys go
    // nowhere while no browser is in front.
    world.Build();
    world.ExpectRows([&](uint16_t code, uint32_t state) { world.Keys().OnRemoteButton(code, state, 0); },
                     {
                         {1, {PlayerIndex(6)}, {PlayerIndex(0)}},
                         {2, {PlayerIndex(6)}, {PlayerIndex(1)}},
                         {4, {PlayerIndex(2)}, {}},
                         {8, {PlayerIndex(3)}, {}},
                         {40, {PlayerIndex(3)}, {}},
                         {61, {PlayerIndex(3)}, {}},
                         {62, {PlayerIndex(3)}, {}},
                         {256, {}, {}},
                         {4096, {}, {}},
                         {3, {}, {}},
                     },
                     "remote");

    // The volume keys show the endpoint's volume while held.
    world.Keys().OnRemoteButton(16, 1, 0);
    EXPECT_TRUE(WaitUntil([&] { return !world.Launch().Journal().Calls("OSDPIC.dll", "OnScreen_ImageA").empty(); }))
        << "volume up showed no volume";
    world.Keys().OnRemoteButton(16, 0, 0);
}

TEST_F(KeySendTest, DataValueAndSecondExtraKeys)
{
    world.Build();
    world.ExpectRows(&CKeySendCtrl::OnDataKey, {{96, {Post(32, 0, 96)}, {}}, {97, {}, {}}}, "data");
    world.ExpectRows(&CKeySendCtrl::OnExtraKey2, {{1, {Post(32, 0, 51)}, {Post(32, 0, 51)}}}, "second extra");
    // Kind 69 carries a value in wParam; a value of 0 or another kind is nothing.
    world.ExpectRows([&](uint16_t value, uint32_t state) { world.Keys().OnValueKey(69, value, state); },
                     {{5, {Post(64, 5, 69)}, {}}, {0, {}, {}}}, "value");
    world.ExpectRows([&](uint16_t value, uint32_t state) { world.Keys().OnValueKey(70, value, state); },
                     {{5, {}, {}}}, "value of another kind");
}

TEST_F(KeySendTest, WakeButtonsAndWakeEvents)
{
    world.OpenMediaCenter();
    world.Build();
    const Events mediaCenterA = {Started("mca.exe"), Shown(MEDIA_CENTER_A), MAXIMIZED};
    const Events dvd = {Started("dvd.exe"), Shown(DVD_PROFILE), MINIMIZED};
    const Events tv = {Started("tv.exe"), Shown(TV_PROFILE)};
    const Events tvOther = {Started("tvother.exe"), Shown(TV_OTHER_PROFILE)};
    // Without the keyboard features the one-touch buttons 104 to 107 do
    // nothing; 109, 111 and 115 have no profile.
    world.ExpectRows([&](uint16_t code, uint32_t state) {
                         if (state) {
                             world.Keys().LaunchWakeButton(static_cast<uint8_t>(code), 0);
                         }
                     },
                     {
                         {103, {}, {}},
                         {104, {}, {}},
                         {107, {}, {}},
                         {108, mediaCenterA, {}},
                         {109, {}, {}},
                         {110, dvd, {}},
                         {111, {}, {}},
                         {112, {Started("mcb.exe"), Shown(MEDIA_CENTER_B), MAXIMIZED}, {}},
                         {113, tv, {}},
                         {114, tvOther, {}},
                         {115, {}, {}},
                         {116, {}, {}},
                     },
                     "wake button");

    struct WakeEventCase {
        uint8_t kind;
        uint16_t code;
        Events events;
    };
    const WakeEventCase events[] = {
        {3, 71, mediaCenterA}, {4, 96, tv}, {4, 97, dvd}, {4, 105, tvOther},
        {3, 72, {}},           {4, 98, {}}, {5, 96, {}},
    };
    for (const WakeEventCase& c : events) {
        world.Keys().OnWakeEvent(c.kind, c.code, 0);
        Events expected = c.events;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(world.Collect(), expected) << "wake event " << int(c.kind) << " " << c.code;
    }
}

TEST_F(KeySendTest, TheBrivueStartIsRetriedUntilItsWindowShows)
{
    constexpr UINT PERIOD_MS = 50;
    world.SetControl("RetryStartBV", 2);
    world.SetControl("TimerStartBV", PERIOD_MS);
    world.Build();
    // The wake button TV: its launch, then two more without the name.
    world.Keys().OnWakeEvent(4, 96, 0);
    ASSERT_EQ(CKeySendCtrl::BrivueRetriesLeft, 2);
    ASSERT_TRUE(WaitUntil([] { return CKeySendCtrl::BrivueRetriesLeft == 0; }));
    AwaitWindowlessTimers(PERIOD_MS);
    EXPECT_EQ(world.Collect(), (Events{Shown(TV_PROFILE), Started("tv.exe"), Started("tv.exe"), Started("tv.exe")}));

    // Brivue's window after the first retry ends them.
    constexpr UINT SLOW_PERIOD_MS = 400;
    world.SetControl("RetryStartBV", 3);
    world.SetControl("TimerStartBV", SLOW_PERIOD_MS);
    world.Build();
    world.Keys().LaunchWakeButton(113, 0);
    ASSERT_TRUE(WaitUntil([] { return CKeySendCtrl::BrivueRetriesLeft == 2; }));
    auto brivue = world.OpenBrivue();
    ASSERT_TRUE(WaitUntil([] { return CKeySendCtrl::BrivueRetriesLeft == 0; }));
    EXPECT_EQ(world.Collect(), (Events{Shown(TV_PROFILE), Started("tv.exe"), Started("tv.exe")}));
    brivue.reset();

    // Another launch button ends them at once.
    world.Keys().LaunchWakeButton(113, 0);
    EXPECT_EQ(CKeySendCtrl::BrivueRetriesLeft, 3);
    world.Keys().OnApplicationKey(8, 1);
    EXPECT_EQ(CKeySendCtrl::BrivueRetriesLeft, 0);

    // A retry pending when the controller goes never fires into the
    // launcher that went with it.
    world.SetControl("RetryStartBV", 1);
    world.SetControl("TimerStartBV", PERIOD_MS);
    world.Build();
    world.Collect();
    world.Keys().LaunchWakeButton(113, 0);
    world.TearDownController();
    AwaitWindowlessTimers(PERIOD_MS * 4);
    EXPECT_EQ(world.Collect(), (Events{Shown(TV_PROFILE), Started("tv.exe")}));
    EXPECT_EQ(CKeySendCtrl::BrivueRetriesLeft, 0);
}

TEST_F(KeySendTest, TheEffectKeyAsksTheSoundEffectLibrary)
{
    struct EffectCase {
        const char* library;  // staged file put in as sonraapi.dll, or none
        int answer;
        uint32_t msgBoxDisable;
        bool uninstalled;  // the box that the effect application has gone
        bool noLibrary;    // the box that there is no library
    };
    const EffectCase cases[] = {
        {nullptr, 0, 0, false, true},
        {nullptr, 0, 1, false, false},
        {"sonraapi.dll", 0, 0, false, false},
        {"sonraapi.dll", 1, 0, false, false},
        {"sonraapi.dll", 2, 0, true, false},
        {"sonraapi.dll", 2, 1, false, false},
        // A library without the export: nothing at all.
        {"cellwarn.dll", 2, 0, false, false},
    };
    for (const EffectCase& c : cases) {
        const std::string row = "row " + std::to_string(&c - cases);
        world.TearDownController();
        world.Launch().RemoveStaged("SONRA", "sonraapi.dll");
        if (c.library) {
            ASSERT_TRUE(world.Launch().PutStaged("SONRA", c.library, "sonraapi.dll")) << row;
        }
        world.SetControl("MsgBox_Disable", c.msgBoxDisable);
        SetEnvironmentVariableA("KOVA_SONRA_ANSWER", std::to_string(c.answer).c_str());
        world.Build();
        world.Collect();
        const RemoteTexts& texts = CConfig::GetRemoteTexts();
        Events expected;
        if (c.library && std::string(c.library) == "sonraapi.dll") {
            expected.push_back(Effect(c.answer));
        }
        if (c.uninstalled) {
            expected.push_back(Box(4, texts.UnInstStringSonra));
        }
        if (c.noLibrary) {
            expected.push_back(Box(5, texts.NoAppStringSonra));
        }
        std::sort(expected.begin(), expected.end());
        world.Keys().OnEffectKey(1, 1);
        EXPECT_EQ(world.Collect(), expected) << row;
        world.Keys().OnEffectKey(0, 0);
        EXPECT_EQ(world.Collect(), Events{}) << row << ": the release";
    }
    SetEnvironmentVariableA("KOVA_SONRA_ANSWER", nullptr);
}

}  // namespace
