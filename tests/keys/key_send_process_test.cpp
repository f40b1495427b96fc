// kova.exe on a configured machine, end to end: Test_Mode 0 with the
// keyboard features, a virtual classic receiver hosted in the test, a
// configured target window and a client window registered by WM_COPYDATA
// (both windows of the test), a launch profile and a one-touch set that
// start launch stand-ins, and the CD player, driven by DDE and watched by
// ddewatch. Pressing buttons between unplug and plug, suspend and resume
// gives the same results each time.

#include "base/messages.h"
#include "config/app_tables.h"
#include "config/controls.h"
#include "config/target_window_table.h"
#include "launch/kova_lnch_ctrl.h"
#include "launch/tesk_lnch_ctrl.h"

#include "tests/core/hub_fixture.h"
#include "tests/dde/dde_watch.h"
#include "tests/hid/receiver_host.h"
#include "tests/support/journal_fields.h"
#include "tests/support/journal_reader.h"
#include "tests/support/kova_process.h"
#include "tests/support/recording_window.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr char PLAYER_KEY[] = "Software\\Orlan\\OrlanTesk\\AudioControl\\Player";

// The classic receiver's vendor collection.
const std::string CLASSIC_COL03 = PlugCommand(3, "0xffbc", "0x88", "in=8 feature=4");

// The configured target (category 0) and the registered client
// (category 1), each with its own message.
constexpr uint32_t TARGET_MESSAGE = 5;
constexpr uint32_t CLIENT_MESSAGE = 6;

RecordedMessage Command(uint32_t message, LPARAM command) { return {TARGET_MESSAGE_BASE + message, 0, command}; }

class KeySendProcessTest : public KovaProcessTest {
protected:
    void SetUp() override
    {
        char temp[MAX_PATH] = {};
        GetTempPathA(sizeof(temp), temp);
        m_programs = std::string(temp) + "kova-e2e-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(m_programs.c_str(), nullptr);
        SetEnvironmentVariableA("KOVA_LAUNCHSTUB_EXIT_AFTER", "60000");
    }

    void TearDown() override
    {
        if (window && kova.IsRunning()) {
            CloseAndExpectCleanExit(window);
        }
        // The stand-ins that were started go with the test.
        for (const std::string& line : journal.Lines()) {
            JournalFields fields = ParseJournalFields(line);
            if (line.find(" start ") == std::string::npos || !fields.count("pid") || !fields.count("show")) {
                continue;
            }
            HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
                                         static_cast<DWORD>(std::strtoul(fields["pid"].c_str(), nullptr, 10)));
            if (process) {
                TerminateProcess(process, 1);
                WaitForSingleObject(process, 5000);
                CloseHandle(process);
            }
        }
        SetEnvironmentVariableA("KOVA_LAUNCHSTUB_EXIT_AFTER", nullptr);
    }

    // A copy of the launch stand-in under that name; its path.
    std::string Program(const char* name)
    {
        const std::string path = m_programs + "\\" + name;
        EXPECT_TRUE(CopyFileA(StagedPath("launchstub.exe").c_str(), path.c_str(), FALSE)) << path;
        return path;
    }

    void Press(const std::string& press, const std::string& release)
    {
        host.Run("send 3 " + press);
        host.Run("send 3 " + release);
    }

    // Waits until a window has received count messages in all.
    static bool WaitForMessages(RecordingWindow& window, std::vector<RecordedMessage>& got, size_t count)
    {
        return WaitUntil([&] {
            for (const RecordedMessage& m : window.Take()) {
                got.push_back(m);
            }
            return got.size() >= count;
        });
    }

    // The names of the programs started so far, with their arguments.
    std::vector<std::string> Starts() const
    {
        std::vector<std::string> starts;
        for (const std::string& line : journal.Lines()) {
            size_t space = line.find(' ');
            if (line.compare(space + 1, 6, "start ") != 0 || line.rfind("msgwin", 0) == 0) {
                continue;
            }
            JournalFields fields = ParseJournalFields(line);
            starts.push_back(line.substr(0, space) + " " + fields["args"]);
        }
        return starts;
    }

    ScopedJournal journal;
    ReceiverHost host;
    HWND window = nullptr;
    std::string m_programs;
};

TEST_F(KeySendProcessTest, ButtonsDoWhatTheConfigurationSaysAcrossUnplugAndSuspend)
{
    const std::string targetClass = UniqueWindowName("kova configured target");
    RecordingWindow target(targetClass, "target");
    RecordingWindow client(UniqueWindowName("kova client"), "client");
    const std::string playerTitle = UniqueWindowName("kova cd player");
    RecordingWindow player(UniqueWindowName("kova player class"), playerTitle);

    // The machine's configuration, as an installer writes it.
    AddTestReceiverIdentity();
    auto control = [](const char* name, uint32_t value) {
        RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, CONTROLS_KEY, name, value);
    };
    control("Test_Mode", 0);
    control("Tesk_Enable", 1);
    control("Vk_ApFore", 0);
    control("ApResume", 0);
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, TARGET_WINDOWS_KEY, "Wnd1_Class", targetClass);
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, TARGET_WINDOWS_KEY, "Wnd1_Control", 0x10000);
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, TARGET_WINDOWS_KEY, "Wnd1_Msg", TARGET_MESSAGE);
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, PLAYER_KEY, "CD_TITLE", playerTitle);
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, PLAYER_KEY, "CD_CONTROL", 1);
    // Launch profile 2 (the DVD button): AltRunner, which the build installs,
    // takes the first entry's place; the second is started a second later.
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, LAUNCH_PROFILES_KEY, "Btn2_Name", "DVD");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, LAUNCH_PROFILES_KEY, "Btn2_NumAp", "2");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, LAUNCH_PROFILES_KEY, "Btn2_Exec", "M");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, LAUNCH_PROFILES_KEY, "Btn2_AP1", Program("dvdfirst.exe"));
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, LAUNCH_PROFILES_KEY, "Btn2_AP2", Program("dvd.exe") + "|/play");
    // One-touch button 1 of the default set.
    const std::string touchKey = std::string(ONE_TOUCH_DEFAULT_SET_KEY) + "\\" + ONE_TOUCH_BUTTON_KEY_PREFIX + "1";
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, touchKey.c_str(), "DispTitle", "Touch 1");
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, touchKey.c_str(), "NumAP", 1);
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, touchKey.c_str(), "Execute", "M");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, touchKey.c_str(), "Btn1_AP1", Program("touch1.exe"));

    // The remote's display first, so that the client library blanking it at
    // suspend never opens col03, whose openings are counted.
    host.Run(DisplayPlugCommand());
    host.Run(CLASSIC_COL03);
    // With the keyboard features the main window has the keyboard's class.
    window = StartKova("", KEYBOARD_WINDOW_CLASS);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(host.WaitForEvents("opened 3 handle", 1, START_TIMEOUT_MS));

    // A client registers its window for category 1, as kovaapi does.
    TargetWindowRegistration registration{};
    registration.hOwnerWnd = client.Window();
    registration.ucId = 1;
    registration.uMsg = CLIENT_MESSAGE;
    registration.dwCtrl = 0x20000;
    COPYDATASTRUCT copy{};
    copy.dwData = COPYDATA_REGISTER_WINDOW;
    copy.cbData = sizeof(registration);
    copy.lpData = &registration;
    ASSERT_TRUE(SendMessageA(window, WM_COPYDATA, COPYDATA_REGISTER_WINDOW, reinterpret_cast<LPARAM>(&copy)));

    // The player program advises on kova's DDE service.
    DdeWatch dde("ORLANTESK infoctl control --count 6");
    ASSERT_TRUE(dde.WaitForStatus("advising")) << dde.Transcript();

    std::vector<RecordedMessage> toTarget;
    std::vector<RecordedMessage> toClient;
    // Next for the player, MCE Start for the target, channel up for the client.
    auto round = [&](const char* when, size_t round) {
        Press("02 01 00 00 00 00 00 00", "02 00 00 00 00 00 00 00");
        Press("04 0d 00 00 00 00 00 00", "04 00 00 00 00 00 00 00");
        Press("03 9c 00 00 00 00 00 00", "03 00 00 00 00 00 00 00");
        EXPECT_TRUE(dde.WaitForTexts(2 * round)) << when << ": " << dde.Transcript();
        EXPECT_TRUE(WaitForMessages(client, toClient, round)) << when;
    };
    round("after the start", 1);
    EXPECT_TRUE(WaitForMessages(target, toTarget, 1));

    // The DVD button of the keyboard report's application keys, and one-touch
    // button 1 of the remote.
    Press("03 00 00 00 02 00 00 00", "03 00 00 00 00 00 00 00");
    Press("02 00 01 00 00 00 00 00", "02 00 00 00 00 00 00 00");
    EXPECT_TRUE(WaitUntil([&] { return Starts().size() >= 3; }, START_TIMEOUT_MS));
    EXPECT_TRUE(WaitForMessages(target, toTarget, 2));

    host.Run("unplug 3");
    host.Run(CLASSIC_COL03);
    ASSERT_TRUE(host.WaitForEvents("opened 3 handle", 2, START_TIMEOUT_MS)) << "the receiver plugged in again";
    round("after unplug and plug", 2);
    EXPECT_TRUE(WaitForMessages(target, toTarget, 3));

    SendMessageA(window, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    SendMessageA(window, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
    ASSERT_TRUE(host.WaitForEvents("opened 3 handle", 3, START_TIMEOUT_MS)) << "the resume opens the receiver afresh";
    round("after suspend and resume", 3);
    EXPECT_TRUE(WaitForMessages(target, toTarget, 4));

    EXPECT_EQ(dde.WaitForExit(), DDEWATCH_DONE) << dde.Transcript();
    EXPECT_EQ(dde.Texts(), (std::vector<std::string>{"CD_CANCEL", "CD_NEXT", "CD_CANCEL", "CD_NEXT", "CD_CANCEL",
                                                     "CD_NEXT"}));
    EXPECT_EQ(toTarget, (std::vector<RecordedMessage>{Command(TARGET_MESSAGE, 4109), Command(TARGET_MESSAGE, 4105),
                                                      Command(TARGET_MESSAGE, 4109), Command(TARGET_MESSAGE, 4109)}));
    EXPECT_EQ(toClient, std::vector<RecordedMessage>(3, Command(CLIENT_MESSAGE, 0x10005)));
    std::vector<std::string> starts = Starts();
    std::sort(starts.begin(), starts.end());
    EXPECT_EQ(starts, (std::vector<std::string>{"AltRunner.exe /1", "dvd.exe /play", "touch1.exe "}));
    EXPECT_TRUE(player.Take().empty()) << "the player of control kind 1 is told by DDE only";
}

}  // namespace
