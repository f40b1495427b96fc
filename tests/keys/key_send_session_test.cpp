// The working key controller where the session is involved: keys typed into
// the window in front (browser keys, digits, Alt+F4, the maximize request),
// the keyboard program's window that the keyboard collection yields to, the
// DDE server that the keyboard features bring, and the navigation test
// window of the numeric entry, which is found by its title session-wide.
// The tests that type into the window in front have the desktop to
// themselves.

#include "keys/key_send_ctrl.h"

#include "audio/vol_ctrl.h"
#include "base/messages.h"
#include "config/config.h"
#include "config/app_tables.h"
#include "keys/numeric_entry.h"
#include "launch/player_ctrl.h"

#include "tests/keys/key_send_world.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

using Keys = std::vector<std::string>;

const Keys ALT_LEFT = {"down 0x12 alt=1", "down 0x25 alt=1", "up 0x25 alt=1", "up 0x12 alt=0"};

void Click(const std::function<void(uint32_t state)>& key)
{
    key(1);
    key(0);
}

Events Sorted(Events events)
{
    std::sort(events.begin(), events.end());
    return events;
}

// Remote key 2 from the receiver's collection and from the keyboard's, with
// and without the keyboard program, and with the keyboard features on.
TEST(KeySendKeysTest, TheKeyboardCollectionYieldsToTheKeyboardProgram)
{
    KeySendWorld world;
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, BROWSER_CLASSES_KEY, "IE1_Class", "KovaSendBrowser");
    world.Build();
    KeyFence browser = FrontWindow(world.Launch(), "KovaSendBrowser");
    auto remote = [&](uint16_t code, uint32_t flags) {
        return [&world, code, flags](uint32_t state) { world.Keys().OnRemoteButton(code, state, flags); };
    };

    // The player gets 2 (cancel on the press, previous on the release), the
    // browser goes back.
    Click(remote(2, 0));
    EXPECT_EQ(browser.NextKeys(), ALT_LEFT);
    EXPECT_EQ(world.Collect(), Sorted({PlayerIndex(6), PlayerIndex(1)}));

    // The keyboard program runs and kova leaves the keyboard to it: a press
    // of the keyboard's collection reaches neither the player nor the volume,
    // but the browser still goes back. Without the keyboard features there is
    // no one-touch launcher to start anything.
    RecordingWindow keyboardProgram(KEYBOARD_WINDOW_CLASS, "keyboard program");
    Click(remote(2, 1));
    EXPECT_EQ(browser.NextKeys(), ALT_LEFT);
    remote(16, 1)(1);
    // The volume display would repeat every 150 ms while the key is held.
    AwaitWindowlessTimers(3 * VOLUME_REPEAT_MS);
    remote(16, 1)(0);
    Click(remote(256, 1));
    EXPECT_EQ(world.Collect(), Events{});
    EXPECT_TRUE(world.Launch().Journal().Calls("OSDPIC.dll", "OnScreen_ImageA").empty())
        << "the refused volume key showed the volume";
    // From the receiver's own collection the same key works.
    Click(remote(2, 0));
    EXPECT_EQ(browser.NextKeys(), ALT_LEFT);
    EXPECT_EQ(world.Collect(), Sorted({PlayerIndex(6), PlayerIndex(1)}));

    // With the keyboard features kova serves the keyboard itself: the
    // keyboard's presses are accepted, and its one-touch buttons start,
    // pressed or as the wake button.
    world.SetControl("Tesk_Enable", 1);
    world.Build();
    Click(remote(2, 1));
    EXPECT_EQ(browser.NextKeys(), ALT_LEFT);
    Click(remote(256, 1));
    EXPECT_EQ(world.Collect(), Sorted({PlayerIndex(6), PlayerIndex(1), Started("touch1.exe"), Shown(ONE_TOUCH_1)}));
    world.Keys().LaunchWakeButton(104, 0);
    EXPECT_EQ(world.Collect(), Sorted({Started("touch1.exe"), Shown(ONE_TOUCH_1)}));
    EXPECT_NE(world.Keys().Player()->PlayerDde(), nullptr) << "the keyboard features run the DDE server";
}

// What goes to whatever window is in front: digits, the favourite keys of a
// browser that is no target, the maximize request and Alt+F4.
TEST(KeySendKeysTest, KeysForTheWindowInFront)
{
    KeySendWorld world;
    world.SetControl("NumCode_Enable", 1);
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, BROWSER_CLASSES_KEY, "IE1_Class", "KovaFrontBrowser");
    world.Build();
    HWND plainWindow = world.Launch().OpenWindow("/class=KovaFrontPlain");
    ASSERT_NE(plainWindow, nullptr);
    ASSERT_TRUE(BringToFront(plainWindow));
    KeyFence plain(world.Launch(), "KovaFrontPlain");
    plain.NextKeys();

    // The digit 3; the number buttons 10 to 12 post their words and type
    // nothing (12 is no digit 7).
    Click([&](uint32_t state) { world.Keys().OnDigitKey(4, state); });
    EXPECT_EQ(plain.NextKeys(), (Keys{"down 0x33 alt=0", "up 0x33 alt=0"}));
    for (uint16_t code : {62, 63, 64}) {
        Click([&](uint32_t state) { world.Keys().OnMediaCenterKey(code, state); });
    }
    EXPECT_EQ(plain.NextKeys(), Keys{});
    EXPECT_EQ(world.Collect(), Sorted({Post(2, 0, 0x2000004), Post(2, 0, 0x2000051), Post(2, 0, 0x4000004),
                                       Post(2, 0, 0x4000051), Post(2, 0, 0x8000004), Post(2, 0, 0x8000051)}));

    // The maximize request: the targets of category 4, and the window in
    // front, which is none of them.
    Click([&](uint32_t state) { world.Keys().OnConsumerKey(562, state); });
    EXPECT_TRUE(WaitUntil([&] { return IsZoomed(plainWindow) != FALSE; })) << "the window in front";
    EXPECT_TRUE(WaitUntil([&] { return IsZoomed(world.TargetWindow()) != FALSE; })) << "the target";

    // A browser in front that is no target gets the favourite keys; once it
    // is a target it gets only the command.
    HWND browserWindow = world.Launch().OpenWindow("/class=KovaFrontBrowser");
    ASSERT_NE(browserWindow, nullptr);
    ASSERT_TRUE(BringToFront(browserWindow));
    KeyFence browser(world.Launch(), "KovaFrontBrowser");
    browser.NextKeys();
    Click([&](uint32_t state) { world.Keys().OnConsumerKey(194, state); });
    EXPECT_EQ(browser.NextKeys(), (Keys{"down 0x12 alt=1", "down 0x41 alt=1", "up 0x41 alt=1", "up 0x12 alt=0",
                                        "down 0x0D alt=0", "up 0x0D alt=0"}));
    TargetWindowRegistration registration{};
    registration.hOwnerWnd = browserWindow;
    registration.ucId = 100;
    registration.uMsg = 1;
    registration.dwCtrl = 0x10000;
    ASSERT_EQ(CConfig::RegisterTargetWindow(registration), 0);
    Click([&](uint32_t state) { world.Keys().OnConsumerKey(194, state); });
    EXPECT_EQ(browser.NextKeys(), Keys{});
    EXPECT_EQ(world.Collect(), Sorted({Post(1, 0, 2), Post(1, 0, 2)}));

    // Exit closes the window in front.
    ASSERT_TRUE(BringToFront(plainWindow));
    Click([&](uint32_t state) { world.Keys().OnConsumerKey(516, state); });
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(plainWindow); })) << "Alt+F4 did not close the window in front";
}

// The numeric entry on the extra keys, as the navigation test window sees
// it; every other key or report cancels a running entry.
TEST(KeySendEntryTest, TheExtraKeysRunTheNumericEntry)
{
    KeySendWorld world;
    world.Build();
    RecordingWindow guide(UniqueWindowName("kova guide"), NAVIGATION_TEST_TITLE);
    auto extra = [&](uint16_t code) { Click([&](uint32_t state) { world.Keys().OnExtraKey(code, state); }); };
    auto report = [&](std::vector<uint8_t> bytes) {
        world.Keys().OnReport(bytes.data(), static_cast<uint32_t>(bytes.size()));
    };
    auto result = [](uint32_t which, uint32_t value) { return RecordedMessage{ENTRY_RESULT_MESSAGE, which, value}; };

    struct EntryCase {
        const char* name;
        std::vector<uint16_t> keys;  // extra keys, each pressed and released
        std::function<void()> then;  // after them
        std::vector<RecordedMessage> results;
        Events events;
    };
    const EntryCase cases[] = {
        {"a single value of two digits", {186, 178, 190, 177, 179, 187}, {}, {result(1, 13)}, {}},
        {"a pair", {188, 177, 190, 181, 190, 177, 190, 183, 189}, {}, {result(2, 5), result(1, 7)}, {}},
        {"191 types the digit before again", {186, 179, 190, 177, 178, 191, 187}, {}, {result(1, 122)}, {}},
        {"a length of 0", {186, 176}, {}, {result(1, ENTRY_BAD_LENGTH)}, {}},
        {"191 as the first digit", {186, 177, 190, 191}, {}, {result(1, ENTRY_REPEAT_FIRST)}, {}},
        {"the same digit twice", {186, 178, 190, 177, 177}, {}, {result(1, ENTRY_REPEATED_DIGIT)}, {}},
        {"extra key 32 posts, then cancels", {186, 32}, {}, {result(1, ENTRY_CANCELLED)}, {Post(32, 0, 48)}},
        {"the extra keys' own report goes on, another report cancels",
         {188},
         [&] {
             report({CLASSIC_REPORT_EXTRA, 0, 0});
             report({CLASSIC_REPORT_REMOTE, 0, 0});
         },
         {result(2, ENTRY_CANCELLED)},
         {}},
        {"a panel key posts, then cancels",
         {186},
         [&] { Click([&](uint32_t state) { world.Keys().OnPanelKey(2, state); }); },
         {result(1, ENTRY_CANCELLED)},
         {Post(8, 0, 4098)}},
        {"no entry runs: digits do nothing", {177, 187}, {}, {}, {}},
    };
    for (const EntryCase& c : cases) {
        for (uint16_t key : c.keys) {
            extra(key);
        }
        if (c.then) {
            c.then();
        }
        EXPECT_EQ(guide.Take(), c.results) << c.name;
        EXPECT_EQ(world.Collect(), Sorted(c.events)) << c.name;
        EXPECT_FALSE(IsEntryRunning(world.Keys().Entry)) << c.name;
    }
}

}  // namespace
