// The test-mode key controller in-process, with our display libraries in a
// Program Files folder of the test's own: which button names it shows (read
// back from the libraries' journal), the wake-button texts, and the volume
// and mute keys through the mixer.

#include "keys/key_test_ctrl.h"

#include "base/app_context.h"
#include "base/messages.h"
#include "config/config.h"
#include "config/onscreen_settings.h"
#include "hid/hid_device.h"
#include "tests/support/journal_fields.h"
#include "tests/support/journal_reader.h"
#include "tests/support/kova_process.h"
#include "tests/support/program_files_sandbox.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr char TEXT_LIBRARY[] = "orlanosd.dll";
constexpr char PICTURE_LIBRARY[] = "OSDPIC.dll";
constexpr DWORD DISPLAY_TIMEOUT_MS = 10000;
constexpr DWORD UNLOAD_TIMEOUT_MS = 15000;

// A device whose input buffer holds one report, as the reader leaves it.
class ReportDevice {
public:
    explicit ReportDevice(uint32_t inputLength) : m_device(nullptr)
    {
        m_device.Info.Caps.InputReportByteLength = static_cast<USHORT>(inputLength);
        m_device.Info.Input.Length = inputLength;
        m_device.Info.Input.Buffer = static_cast<uint8_t*>(std::calloc(inputLength, 1));
    }
    CHidDevice* Put(const std::vector<uint8_t>& report)
    {
        std::memset(m_device.Info.Input.Buffer, 0, m_device.Info.Input.Length);
        std::memcpy(m_device.Info.Input.Buffer, report.data(), std::min<size_t>(report.size(), m_device.Info.Input.Length));
        return &m_device;
    }

private:
    CHidDevice m_device;
};

class KeyTestCtrlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetConfigStoreForTests();
        // Short displays, so the libraries' threads end soon after a test.
        RegistrySandbox::SetDword(HKEY_CURRENT_USER, ONSCREEN_USER_KEY, "Time", 1);
        ASSERT_TRUE(programFiles.Put("ZUZIDAZOR", TEXT_LIBRARY));
        ASSERT_TRUE(programFiles.Put("ZUZIDAZOR", PICTURE_LIBRARY));
        // The volume repeat runs on the main window; this thread's window
        // plays it.
        window = CreateWindowExA(0, "STATIC", "key test", WS_POPUP, 0, 0, 1, 1, HWND_MESSAGE, nullptr, nullptr,
                                 nullptr);
        ASSERT_NE(window, nullptr);
        SetAppMainWindow(window);
        keys = std::make_unique<CKeyTestCtrl>(nullptr);
        ASSERT_NE(keys->Osd, nullptr);
    }

    void TearDown() override
    {
        keys.reset();
        SetAppMainWindow(nullptr);
        DestroyWindow(window);
        WaitUntil([] { return !GetModuleHandleA(TEXT_LIBRARY) && !GetModuleHandleA(PICTURE_LIBRARY); },
                  UNLOAD_TIMEOUT_MS);
        ResetConfigStoreForTests();
    }

    // The texts shown so far, in order.
    std::vector<std::string> Texts() const
    {
        std::vector<std::string> texts;
        for (const std::string& line : journal.Calls(TEXT_LIBRARY, "OnScreen_DisplayA")) {
            texts.push_back(ParseJournalFields(line)["text"]);
        }
        return texts;
    }
    std::vector<JournalFields> Pictures() const
    {
        std::vector<JournalFields> pictures;
        for (const std::string& line : journal.Calls(PICTURE_LIBRARY, "OnScreen_ImageA")) {
            pictures.push_back(ParseJournalFields(line));
        }
        return pictures;
    }
    std::string Name(KeyHandler group, uint16_t code) const
    {
        char name[BUTTON_NAME_MAX + 1];
        size_t length = keys->ShowButtonName(group, code, name);
        EXPECT_EQ(length, std::strlen(name));
        return name;
    }

    RegistrySandbox registry;
    ProgramFilesSandbox programFiles;
    ScopedJournal journal;
    HWND window = nullptr;
    std::unique_ptr<CKeyTestCtrl> keys;
};

TEST_F(KeyTestCtrlTest, EveryButtonNameOfTheStringTable)
{
    struct Named {
        KeyHandler group;
        uint16_t code;
        const char* name;
    };
    const Named names[] = {
        {KeyHandler::RemoteButton, 1, "NextTrack"},    {KeyHandler::RemoteButton, 2, "PrevTrack"},
        {KeyHandler::RemoteButton, 4, "Stop"},         {KeyHandler::RemoteButton, 8, "Play"},
        {KeyHandler::RemoteButton, 40, "Play"},        {KeyHandler::RemoteButton, 61, "Play"},
        {KeyHandler::RemoteButton, 62, "Play"},        {KeyHandler::RemoteButton, 256, "Back"},
        {KeyHandler::ConsumerKey, 44, "TV CHANGE"},    {KeyHandler::ConsumerKey, 64, "Menu"},
        {KeyHandler::ConsumerKey, 96, "Data on Screen"}, {KeyHandler::ConsumerKey, 141, "MSPG"},
        {KeyHandler::ConsumerKey, 156, "ChInc"},       {KeyHandler::ConsumerKey, 157, "ChDec"},
        {KeyHandler::ConsumerKey, 176, "Play"},        {KeyHandler::ConsumerKey, 177, "Pause"},
        {KeyHandler::ConsumerKey, 178, "Rec"},         {KeyHandler::ConsumerKey, 179, "FW"},
        {KeyHandler::ConsumerKey, 180, "RW"},          {KeyHandler::ConsumerKey, 194, "Mark"},
        {KeyHandler::ConsumerKey, 205, "Play/Pause"},  {KeyHandler::ConsumerKey, 516, "Exit"},
        {KeyHandler::ConsumerKey, 521, "SubMenu"},     {KeyHandler::ConsumerKey, 551, "Refresh"},
        {KeyHandler::ConsumerKey, 562, "Toggle"},      {KeyHandler::FunctionKey, 16, "SubMenu"},
        {KeyHandler::FunctionKey, 32, "Voice"},        {KeyHandler::FunctionKey, 64, "SubTitles"},
        {KeyHandler::FunctionKey, 90, "Data"},         {KeyHandler::ApplicationKey, 1, "InstantTV"},
        {KeyHandler::ApplicationKey, 2, "DVD"},        {KeyHandler::ApplicationKey, 4, "TVD"},
        {KeyHandler::ApplicationKey, 8, "BS/CS"},      {KeyHandler::ApplicationKey, 16, "TVA"},
        {KeyHandler::ApplicationKey, 32, "CV"},        {KeyHandler::ApplicationKey, 64, "Video"},
        {KeyHandler::ApplicationKey, 128, "Music"},    {KeyHandler::DigitKey, 1, "1"},
        {KeyHandler::DigitKey, 2, "2"},                {KeyHandler::DigitKey, 4, "3"},
        {KeyHandler::DigitKey, 8, "4"},                {KeyHandler::DigitKey, 16, "5"},
        {KeyHandler::DigitKey, 32, "6"},               {KeyHandler::DigitKey, 64, "7"},
        {KeyHandler::DigitKey, 128, "8"},              {KeyHandler::DigitKey, 256, "9"},
        {KeyHandler::ModeKey, 1, "Input Change"},      {KeyHandler::ModeKey, 5, "Reservation List"},
        {KeyHandler::ModeKey, 6, "REC Reserve"},       {KeyHandler::ModeKey, 7, "NET"},
        {KeyHandler::ModeKey, 8, "TV(ON/OFF)"},        {KeyHandler::ModeKey, 10, "RW"},
        {KeyHandler::ModeKey, 12, "FW"},               {KeyHandler::ModeKey, 36, "DVDMenu"},
        {KeyHandler::ModeKey, 39, "Wide"},             {KeyHandler::ModeKey, 66, "Channel No"},
        {KeyHandler::MediaCenterKey, 13, "MCE Start"}, {KeyHandler::MediaCenterKey, 60, "Media OnLine"},
        {KeyHandler::MediaCenterKey, 62, "10"},        {KeyHandler::MediaCenterKey, 63, "11"},
        {KeyHandler::MediaCenterKey, 64, "12"},        {KeyHandler::ExtraKey, 32, "VISUAL"},
        {KeyHandler::ExtraKey, 33, "BRIGHT UP"},       {KeyHandler::ExtraKey, 34, "BRIGHT DOWN"},
        {KeyHandler::ExtraKey2, 1, "EMMANG"},
    };
    for (const Named& n : names) {
        EXPECT_EQ(Name(n.group, n.code), n.name) << "group " << static_cast<int>(n.group) << " code " << n.code;
    }
    // The volume and mute keys, codes of other groups, and groups without
    // names have none.
    const Named nameless[] = {
        {KeyHandler::RemoteButton, 16, ""}, {KeyHandler::RemoteButton, 32, ""}, {KeyHandler::RemoteButton, 0, ""},
        {KeyHandler::ConsumerKey, 226, ""}, {KeyHandler::ConsumerKey, 1, ""},   {KeyHandler::ModeKey, 2, ""},
        {KeyHandler::DigitKey, 512, ""},    {KeyHandler::ExtraKey, 1, ""},      {KeyHandler::ExtraKey2, 32, ""},
        {KeyHandler::PanelKey, 1, ""},      {KeyHandler::FunctionKey, 15, ""},  {KeyHandler::ConsumerKey, 1044, ""},
    };
    for (const Named& n : nameless) {
        EXPECT_EQ(Name(n.group, n.code), "") << "group " << static_cast<int>(n.group) << " code " << n.code;
    }
}

TEST_F(KeyTestCtrlTest, ColourKeysAreNamedByTheirBits)
{
    // Only code 4 lacks every bit of the red test; the later tests are never
    // reached by a code below 15.
    for (uint16_t code = 1; code < 15; ++code) {
        EXPECT_EQ(Name(KeyHandler::FunctionKey, code), code == 4 ? "Blue" : "Red") << code;
    }
    EXPECT_EQ(Name(KeyHandler::FunctionKey, 0), "");
}

TEST_F(KeyTestCtrlTest, PressesShowTheirNamesAndReleasesNothing)
{
    keys->OnRemoteButton(1, 1, 0);
    keys->OnRemoteButton(1, 0, 0);
    keys->OnRemoteButton(61, 1, 0);
    keys->OnRemoteButton(3, 1, 0);  // no name
    keys->OnConsumerKey(205, 1);
    keys->OnConsumerKey(205, 0);
    keys->OnFunctionKey(4, 1);
    keys->OnApplicationKey(8, 1);
    keys->OnDigitKey(256, 1);
    keys->OnModeKey(66, 1);
    keys->OnMediaCenterKey(60, 1);
    keys->OnExtraKey(34, 1);
    keys->OnExtraKey2(1, 1);
    // Nothing for these in test mode.
    keys->OnPanelKey(1, 1);
    keys->OnPanelKey2(1, 1);
    keys->OnEffectKey(1, 1);
    keys->OnDataKey(96, 1);
    keys->OnValueKey(69, 5, 1);
    const std::vector<std::string> expected = {"NextTrack", "Play", "Play/Pause", "Blue", "BS/CS", "9",
                                               "Channel No", "Media OnLine", "BRIGHT DOWN", "EMMANG"};
    ASSERT_TRUE(journal.WaitForCalls(TEXT_LIBRARY, "OnScreen_DisplayA", expected.size(), DISPLAY_TIMEOUT_MS));
    EXPECT_EQ(Texts(), expected);
    const JournalFields first = ParseJournalFields(journal.Calls(TEXT_LIBRARY, "OnScreen_DisplayA")[0]);
    EXPECT_EQ(first.at("kind"), "2") << "a plain text at the text place";
    EXPECT_NE(first.at("face"), "Webdings") << "not the symbol font";
}

TEST_F(KeyTestCtrlTest, WakeButtonsAndWakeEventsShowFunctionKeys)
{
    keys->LaunchWakeButton(103, 0);
    keys->LaunchWakeButton(104, 0);
    keys->LaunchWakeButton(110, 7);
    keys->LaunchWakeButton(116, 0);
    keys->LaunchWakeButton(117, 0);
    keys->OnWakeEvent(3, 71, 0);
    keys->OnWakeEvent(4, 96, 1);
    keys->OnWakeEvent(4, 97, 0);
    keys->OnWakeEvent(4, 105, 1);
    keys->OnWakeEvent(3, 72, 0);
    keys->OnWakeEvent(4, 98, 0);
    keys->OnWakeEvent(0, 0, 0);
    const std::vector<std::string> expected = {"F13", "F19", "F25", "F17", "F22", "F19", "F23"};
    ASSERT_TRUE(journal.WaitForCalls(TEXT_LIBRARY, "OnScreen_DisplayA", expected.size(), DISPLAY_TIMEOUT_MS));
    EXPECT_EQ(Texts(), expected);
}

TEST_F(KeyTestCtrlTest, VolumeKeysShowTheMixerVolumeWhileHeldAndOnRelease)
{
    // The test program sees Windows 8 or later: the mixer's form is used
    // all the same.
    ASSERT_GT(CConfig::GetOsClass(), 10u);
    ReportDevice classic(8);
    keys->ProcessReport(classic.Put({2, 0x10, 0x00}));
    ASSERT_TRUE(journal.WaitForCalls(PICTURE_LIBRARY, "OnScreen_ImageA", 3, DISPLAY_TIMEOUT_MS));
    keys->ProcessReport(classic.Put({2, 0x00, 0x00}));
    // The release shows the final picture for the configured time.
    ASSERT_TRUE(WaitUntil(
        [&] {
            auto pictures = Pictures();
            return !pictures.empty() && pictures.back()["time"] == "500";
        },
        DISPLAY_TIMEOUT_MS));
    // The pictures are drawn in the calls the repeat timer makes: without
    // the timer no refresh can follow.
    EXPECT_FALSE(KillTimer(window, IDT_VOLUME_REPEAT)) << "the repeat ended with the release";
    const std::vector<JournalFields> pictures = Pictures();
    for (size_t i = 0; i + 1 < pictures.size(); ++i) {
        EXPECT_EQ(pictures[i].at("time"), "300") << "a refresh while held";
    }
    for (const JournalFields& p : pictures) {
        EXPECT_EQ(p.at("picture"), "2") << "the volume picture";
        EXPECT_EQ(p.at("max"), "65535") << "the mixer's scale, not the endpoint's steps";
        EXPECT_EQ(p.at("segments"), "25");
    }
    EXPECT_TRUE(Texts().empty()) << "the volume keys have no name";
}

TEST_F(KeyTestCtrlTest, ARadioPressEndsAHeldVolumeKeyInTheMixersFormFirst)
{
    ReportDevice volume(3);
    ReportDevice vendor(8);
    keys->ProcessRfReport(volume.Put({1, 0xE9, 0x00}), ReportGate{});
    ASSERT_TRUE(journal.WaitForCalls(PICTURE_LIBRARY, "OnScreen_ImageA", 2, DISPLAY_TIMEOUT_MS));
    keys->ProcessRfReport(vendor.Put({2, 0x40, 0x00}), ReportGate{});
    ASSERT_TRUE(journal.WaitForCalls(TEXT_LIBRARY, "OnScreen_DisplayA", 1, DISPLAY_TIMEOUT_MS));
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Menu"}));
    EXPECT_FALSE(KillTimer(window, IDT_VOLUME_REPEAT)) << "the repeat ended before Menu";
    const std::vector<JournalFields> pictures = Pictures();
    const size_t shown = pictures.size();
    EXPECT_EQ(pictures.back().at("time"), "500") << "a final picture";
    for (const JournalFields& p : pictures) {
        EXPECT_EQ(p.at("max"), "65535") << "the final picture in the mixer's form, as the refreshes";
    }
    // The release of report 1 that follows finds nothing held.
    keys->ProcessRfReport(volume.Put({1, 0x00, 0x00}), ReportGate{});
    EXPECT_EQ(Pictures().size(), shown);
    EXPECT_FALSE(KillTimer(window, IDT_VOLUME_REPEAT));
}

TEST_F(KeyTestCtrlTest, TheMuteKeyShowsTheMixerStateOncePerPress)
{
    keys->OnConsumerKey(226, 1);
    keys->OnConsumerKey(226, 0);
    ASSERT_TRUE(journal.WaitForCalls(PICTURE_LIBRARY, "OnScreen_ImageA", 1, DISPLAY_TIMEOUT_MS));
    PumpFor(500);
    const std::vector<JournalFields> pictures = Pictures();
    ASSERT_EQ(pictures.size(), 1u) << "the release shows nothing";
    // Nothing here mutes: the mixer reads unmuted, shown as the volume.
    EXPECT_EQ(pictures[0].at("picture"), "2");
    EXPECT_EQ(pictures[0].at("max"), "65535");
    EXPECT_TRUE(Texts().empty());
}

}  // namespace
