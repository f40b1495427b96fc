// The whole road of a button press: kova.exe as a real process with no
// settings but the receiver's identity (so it runs the test-mode key
// controller), a virtual receiver hosted in the test, and what reaches the
// screen, read from the display libraries' journal and from the screen
// itself. The screen is checked, so these tests have the desktop to
// themselves.

#include "base/messages.h"
#include "tests/core/hub_fixture.h"
#include "tests/hid/receiver_host.h"
#include "tests/support/journal_fields.h"
#include "tests/support/journal_reader.h"
#include "tests/support/kova_process.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/screen_capture.h"
#include "tests/tray/tray_world.h"

#include <gtest/gtest.h>
#include <wtsapi32.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr DWORD START_TIMEOUT_MS = 20000;
constexpr DWORD SHOW_TIMEOUT_MS = 10000;
// The wake check runs 3 s after the start.
constexpr DWORD WAKE_TIMEOUT_MS = 15000;
constexpr DWORD SHUTDOWN_LIMIT_MS = 2 * 5500 + 2000;
// Time for the receiver's reader thread to hand a report to the window's
// queue; far more than it takes.
constexpr DWORD QUEUE_MS = 1000;

constexpr char TEXT_LIBRARY[] = "orlanosd.dll";
constexpr char PICTURE_LIBRARY[] = "OSDPIC.dll";
// The default on-screen colour and display time (Time 3 = 1500 ms).
constexpr COLORREF DEFAULT_COLOUR = RGB(0, 255, 0);
constexpr char FINAL_TIME[] = "1500";
constexpr char REPEAT_TIME[] = "300";
// ShowText's place on the screen.
constexpr int TEXT_PLACE = 2;

// A classic receiver: col01 (the keyboard part, never opened), col02 the
// consumer buttons, col03 the vendor buttons and the wake-button record.
const std::string CLASSIC_COL01 = PlugCommand(1, "0x0001", "0x06", "in=9 feature=0");
const std::string CLASSIC_COL02 = PlugCommand(2, "0x000c", "0x01", "in=3 feature=0");
const std::string CLASSIC_COL03 = PlugCommand(3, "0xffbc", "0x88", "in=8 feature=4");
// A radio receiver: the consumer collection of report 1, and the vendor
// collection of the other reports and the wake event.
const std::string RADIO_CONSUMER = PlugCommand(2, "0x000c", "0x01", "in=3 feature=0");
const std::string RADIO_VENDOR = PlugCommand(4, "0xff01", "0x01", "in=8 out=8 feature=8");

class KeyRoadTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        if (window && kova.IsRunning()) {
            PostMessageA(window, WM_CLOSE, 0, 0);
            DWORD code = 0xFFFF;
            EXPECT_TRUE(kova.WaitForExit(SHUTDOWN_LIMIT_MS, &code)) << "kova.exe did not end after WM_CLOSE";
            EXPECT_EQ(code, 0u);
        }
    }

    void StartKova()
    {
        AddTestReceiverIdentity();
        ASSERT_TRUE(kova.Start(StagedPath("kova.exe"), ""));
        window = kova.WaitForWindow(MAIN_WINDOW_CLASS, START_TIMEOUT_MS);
        ASSERT_NE(window, nullptr);
    }

    bool WaitOpened(int collection, size_t count)
    {
        return host.WaitForEvents("opened " + std::to_string(collection) + " handle", count, START_TIMEOUT_MS);
    }

    std::vector<std::string> Texts() const
    {
        std::vector<std::string> texts;
        for (const std::string& line : journal.Calls(TEXT_LIBRARY, "OnScreen_DisplayA")) {
            texts.push_back(ParseJournalFields(line)["text"]);
        }
        return texts;
    }
    size_t Shown(const std::string& text) const
    {
        auto texts = Texts();
        return static_cast<size_t>(std::count(texts.begin(), texts.end(), text));
    }
    bool WaitForText(const std::string& text, size_t count = 1, DWORD timeoutMs = SHOW_TIMEOUT_MS) const
    {
        return WaitUntil([&] { return Shown(text) >= count; }, timeoutMs);
    }
    std::vector<JournalFields> Pictures() const
    {
        std::vector<JournalFields> pictures;
        for (const std::string& line : journal.Calls(PICTURE_LIBRARY, "OnScreen_ImageA")) {
            pictures.push_back(ParseJournalFields(line));
        }
        return pictures;
    }
    size_t RepeatPictures() const
    {
        auto pictures = Pictures();
        return static_cast<size_t>(std::count_if(pictures.begin(), pictures.end(),
                                                 [](const JournalFields& p) { return p.at("time") == REPEAT_TIME; }));
    }

    // A press and its release on a collection.
    void Press(int collection, const std::string& press, const std::string& release)
    {
        host.Run("send " + std::to_string(collection) + " " + press);
        host.Run("send " + std::to_string(collection) + " " + release);
    }

    // Holds a volume key for a few refreshes and lets it go: the volume
    // picture repeats while it is held and ends with one final picture.
    void HoldVolumeKey(int collection, const std::string& press, const std::string& release)
    {
        const size_t before = Pictures().size();
        host.Run("send " + std::to_string(collection) + " " + press);
        ASSERT_TRUE(WaitUntil([&] { return RepeatPictures() >= 3; }, SHOW_TIMEOUT_MS));
        host.Run("send " + std::to_string(collection) + " " + release);
        ASSERT_TRUE(WaitUntil(
            [&] {
                auto pictures = Pictures();
                return pictures.size() > before && pictures.back().at("time") == FINAL_TIME;
            },
            SHOW_TIMEOUT_MS))
            << "the release ends the repeat with the final picture";
        for (const JournalFields& p : Pictures()) {
            EXPECT_EQ(p.at("picture"), "2") << "the volume picture";
            EXPECT_EQ(p.at("max"), "65535") << "the mixer's scale: the legacy mixer form";
        }
    }

    // Pixels of the display colour where texts are shown.
    static int TextPixels()
    {
        ScreenCapture capture;
        return capture.Grab() ? capture.Count(DEFAULT_COLOUR, GridCell(TEXT_PLACE)) : -1;
    }

    // Lets what the receiver has sent reach the main window's queue, then
    // queues a player notice behind it and waits for its text: everything
    // sent before has been handled by then.
    void Drain()
    {
        Sleep(QUEUE_MS);
        const size_t before = Texts().size();
        PostMessageA(window, WM_PLAYER_OSD, PLAYER_OSD_TAG, 0);
        ASSERT_TRUE(WaitUntil([&] { return Texts().size() > before; }, SHOW_TIMEOUT_MS));
    }

    CleanOrlanRegistry clean;
    ScopedJournal journal;
    ReceiverHost host;
    ChildProcess kova;
    HWND window = nullptr;
};

TEST_F(KeyRoadTest, AClassicReceiverWithoutSettingsShowsEveryButtonOnScreen)
{
    host.Run(CLASSIC_COL01);
    host.Run(CLASSIC_COL02);
    host.Run(CLASSIC_COL03);
    host.Run("feature 3 03 6e");  // woken by button 110
    StartKova();
    ASSERT_TRUE(WaitOpened(2, 1));
    ASSERT_TRUE(WaitOpened(3, 1));
    // The keyboard part is looked at and let go: it is not the receiver's.
    EXPECT_TRUE(host.WaitForEvents("closed 1 handle", host.EventsWith("opened 1 handle").size(), SHOW_TIMEOUT_MS));

    ASSERT_TRUE(WaitForText("F19", 1, WAKE_TIMEOUT_MS)) << "the wake button read at start";
    host.Run("feature 3 03 00");
    ASSERT_TRUE(WaitUntil([] { return TextPixels() == 0; }, SHOW_TIMEOUT_MS)) << "the wake text goes after its time";

    Press(3, "02 01 00 00 00 00 00 00", "02 00 00 00 00 00 00 00");
    ASSERT_TRUE(WaitForText("NextTrack"));
    EXPECT_TRUE(WaitUntil([] { return TextPixels() > 30; }, SHOW_TIMEOUT_MS)) << "no text on the screen";

    // The keyboard report, the media-center code and the extra keys.
    Press(3, "03 cd 00 00 00 00 00 00", "03 00 00 00 00 00 00 00");
    Press(3, "04 0d 00 00 00 00 00 00", "04 00 00 00 00 00 00 00");
    Press(3, "05 00 01 00 00 00 00 00", "05 00 00 00 00 00 00 00");
    ASSERT_TRUE(WaitForText("EMMANG"));
    EXPECT_EQ(Texts(), (std::vector<std::string>{"F19", "NextTrack", "Play/Pause", "MCE Start", "EMMANG"}));

    // A held volume key on the consumer collection goes through the mixer,
    // and the report of zeros releases it: after the final picture no
    // refresh follows.
    HoldVolumeKey(3, "02 10 00 00 00 00 00 00", "02 00 00 00 00 00 00 00");
    const size_t pictures = Pictures().size();
    Sleep(QUEUE_MS);
    Press(3, "02 04 00 00 00 00 00 00", "02 00 00 00 00 00 00 00");
    ASSERT_TRUE(WaitForText("Stop"));
    EXPECT_EQ(Pictures().size(), pictures) << "the volume key was still held";
}

TEST_F(KeyRoadTest, ALockedSessionDropsPressesAndTheUnlockLetsThemThrough)
{
    host.Run(CLASSIC_COL03);
    StartKova();
    ASSERT_TRUE(WaitOpened(3, 1));

    SendMessageA(window, WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, 0);
    Press(3, "02 04 00 00 00 00 00 00", "02 00 00 00 00 00 00 00");
    host.Run("send 3 02 10 00 00 00 00 00 00");
    Drain();
    SendMessageA(window, WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK, 0);
    host.Run("send 3 02 00 00 00 00 00 00 00");
    Press(3, "02 02 00 00 00 00 00 00", "02 00 00 00 00 00 00 00");
    ASSERT_TRUE(WaitForText("PrevTrack"));
    EXPECT_EQ(Shown("Stop"), 0u) << "a press while locked reached the screen";
    EXPECT_TRUE(Pictures().empty()) << "the volume key pressed while locked reached the mixer";
}

TEST_F(KeyRoadTest, PressesKeepWorkingAfterUnplugAndPlugAndAfterSuspendAndResume)
{
    // The suspend blanks the remote's display through the client library,
    // which opens collections in turn until it finds the display: plugged
    // ahead of col03, it is found before col03 is opened and counted.
    host.Run(DisplayPlugCommand());
    host.Run(CLASSIC_COL03);
    StartKova();
    ASSERT_TRUE(WaitOpened(3, 1));
    Press(3, "02 01 00 00 00 00 00 00", "02 00 00 00 00 00 00 00");
    ASSERT_TRUE(WaitForText("NextTrack"));

    host.Run("unplug 3");
    host.Run(CLASSIC_COL03);
    ASSERT_TRUE(WaitOpened(3, 2)) << "the receiver plugged in again is opened";
    Press(3, "02 00 01 00 00 00 00 00", "02 00 00 00 00 00 00 00");
    ASSERT_TRUE(WaitForText("Back"));

    SendMessageA(window, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    SendMessageA(window, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
    ASSERT_TRUE(WaitOpened(3, 3)) << "the resume opens the receiver afresh";
    Press(3, "02 08 00 00 00 00 00 00", "02 00 00 00 00 00 00 00");
    ASSERT_TRUE(WaitForText("Play"));
    HoldVolumeKey(3, "02 20 00 00 00 00 00 00", "02 00 00 00 00 00 00 00");
    EXPECT_EQ(Texts(), (std::vector<std::string>{"NextTrack", "Back", "Play"}));
}

TEST_F(KeyRoadTest, APressBlinksTheRemotesIcon)
{
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, CONTROLS_KEY, "Icon", 1);
    host.Run(CLASSIC_COL03);
    StartKova();
    ASSERT_TRUE(WaitOpened(3, 1));
    // The icon is added after the receiver opens: an empty notification area
    // settles too, so wait for the icon before taking its picture.
    ASSERT_TRUE(WaitWithoutPumping([] { return !TrayPictures().empty(); }, TRAY_SETTLE_MS))
        << "the icon shows while the receiver is open";
    const std::vector<TrayPicture> shown = SettledTrayPictures();
    Press(3, "02 01 00 00 00 00 00 00", "02 00 00 00 00 00 00 00");
    const TrayPicture lit = WaitForNewPicture(shown);
    ASSERT_FALSE(lit.empty()) << "the remote button did not blink the icon";
    EXPECT_TRUE(WaitForTrayCount(lit, 0)) << "the blink ends";
    ASSERT_TRUE(WaitForText("NextTrack"));
}

TEST_F(KeyRoadTest, TheRadioReceiverShowsItsWakeEventAndItsButtons)
{
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, CONTROLS_KEY, "RFSupportFlags", 1);
    host.Run(RADIO_CONSUMER);
    host.Run(RADIO_VENDOR);
    host.Run("feature 4 04 03 47 00 00 00 00 00");  // woken by the media-center start button
    StartKova();
    ASSERT_TRUE(WaitOpened(2, 1));
    ASSERT_TRUE(WaitOpened(4, 1));
    ASSERT_TRUE(WaitForText("F17", 1, WAKE_TIMEOUT_MS));

    Press(4, "02 9c 00 00 00 00 00 00", "02 00 00 00 00 00 00 00");
    Press(4, "03 0d 00 00 00 00 00 00", "03 00 00 00 00 00 00 00");
    Press(4, "04 58 00 00 00 00 00 00", "04 00 00 00 00 00 00 00");
    ASSERT_TRUE(WaitForText("BRIGHT DOWN"));
    EXPECT_EQ(Texts(), (std::vector<std::string>{"F17", "ChInc", "MCE Start", "BRIGHT DOWN"}));
    // Report 1 of the three-byte collection carries the volume keys.
    HoldVolumeKey(2, "01 e9 00", "01 00 00");
}

}  // namespace
