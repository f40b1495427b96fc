// The launch profiles of the remote and the one-touch sets of the keyboard,
// through their launch controllers: which button loads which profile, what
// the running media applications change, the receiver's handshake and the TV
// status library, the messages, and what starts. The media applications are
// msgwin windows of class names of this test alone, so tests beside it never
// see them; what starts are copies of the launch stand-in.

#include "launch/kova_lnch_ctrl.h"
#include "launch/tesk_lnch_ctrl.h"

#include "base/app_context.h"
#include "base/folders.h"
#include "base/power.h"
#include "config/config.h"
#include "config/os_class.h"
#include "hid/receiver_reports.h"
#include "launch/shell_ops.h"

#include "tests/hid/receiver_host.h"
#include "tests/launch/launch_world.h"
#include "tests/support/kova_process.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr char BRIVUE_FOLDER[] = "Brivue";
constexpr char DSPPRB_MODE_ENV[] = "KOVA_DSPPRB_MODE";
constexpr char TV_STATUS_ENV[] = "KOVA_BVBOOTCK_STATUS";
// The display mode of a full-screen app in front: AltRunner is needed.
constexpr char FULL_SCREEN_APP_MODE[] = "2";
// The pause between entries, less what the sleep of the system may cut short.
constexpr long long PAUSE_MS = 950;
constexpr uint32_t NOTICE_TYPE = 0x40;

std::string NoticeOf(UINT slot, const char* text) { return std::to_string(slot) + ": " + text; }

// What the program's message box was asked to show, "slot: text"; every
// notice is an information box with the program's caption.
std::vector<std::string> g_notices;

INT_PTR RecordNotice(HWND owner, LPCSTR text, LPCSTR caption, UINT type, UINT slot)
{
    EXPECT_EQ(owner, nullptr);
    EXPECT_STREQ(caption, CConfig::GetRemoteTexts().Kova_Title);
    EXPECT_EQ(type, NOTICE_TYPE);
    g_notices.push_back(NoticeOf(slot, text));
    return IDOK;
}

void SetText(const char* name, const std::string& text)
{
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, REMOTE_TEXTS_KEY, name, text);
}

void ClearProfiles() { RegDeleteTreeA(HKEY_LOCAL_MACHINE, LAUNCH_PROFILES_KEY); }

// Profile index's values "Btn<N>_<what>": pairs of what and text.
void WriteValues(uint32_t index, const std::vector<std::pair<std::string, std::string>>& values)
{
    const std::string prefix = "Btn" + std::to_string(index + 1) + "_";
    for (const auto& [what, text] : values) {
        RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, LAUNCH_PROFILES_KEY, (prefix + what).c_str(), text);
    }
}

// A whole profile named "Profile<N>".
void WriteProfile(uint32_t index, const char* mode, const std::vector<std::string>& entries)
{
    WriteValues(index, {{"Name", "Profile" + std::to_string(index + 1)},
                        {"NumAp", std::to_string(entries.size())},
                        {"Exec", mode}});
    for (size_t k = 0; k < entries.size(); ++k) {
        WriteValues(index, {{"AP" + std::to_string(k + 1), entries[k]}});
    }
}

void SetTunerDeckInstalled(bool installed)
{
    if (installed) {
        RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, TUNERDECK_KEY, "AppName", "TunerDeck");
    } else {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, TUNERDECK_KEY);
    }
}

// The Media Center shell at its fixed place in the prefix: a launch stand-in.
bool EnsureMediaCenterShell()
{
    if (GetFileAttributesA(MEDIA_CENTER_SHELL_PATH) == INVALID_FILE_ATTRIBUTES) {
        CreateDirectoryA("C:\\Windows\\ehome", nullptr);
        CopyFileA(StagedPath("launchstub.exe").c_str(), MEDIA_CENTER_SHELL_PATH, TRUE);
    }
    return GetFileAttributesA(MEDIA_CENTER_SHELL_PATH) != INVALID_FILE_ATTRIBUTES;
}

// What one press did: the programs started ("name args"), the texts shown
// and the notices ("slot: text"), each joined with " | ".
struct Outcome {
    std::string Started;
    std::string Shown;
    std::string Notices;
};

std::string Join(const std::vector<std::string>& parts)
{
    std::string joined;
    for (const std::string& part : parts) {
        joined += (joined.empty() ? "" : " | ") + part;
    }
    return joined;
}

// The remote's launch world: the display library and the fixed program
// folder in the private Program Files, Brivue installed or not, the
// program's message box recorded.
class ProfileTest : public ::testing::Test {
protected:
    ProfileTest()
    {
        const std::string tag = std::to_string(GetCurrentProcessId());
        MediaCenter = "KovaMC" + tag;
        Brivue = "KovaBV" + tag;
        Halcyon = "KovaHal" + tag;
        TunerDeck = "KovaTD" + tag;
        SetText("MC_Class", MediaCenter);
        SetText("BV_Class", Brivue);
        SetText("BV_Title", "Brivue");
        SetText("Hal_Class", Halcyon);
        SetText("Hal_Title", "Halcyon");
        SetText("TunerDeck_Class", TunerDeck);
        world.PutStaged(REMOTE_PROGRAM_FOLDER, "orlanosd.dll");
        OverrideFixedProgramDirForTests(world.FolderOf(REMOTE_PROGRAM_FOLDER).c_str());
        SetAppMessageBox(RecordNotice);
    }
    ~ProfileTest() override
    {
        SetAppMessageBox(nullptr);
        OverrideFixedProgramDirForTests(nullptr);
        OverrideConnectedStandbyForTests(-1);
        SetAppDisplayOffSeen(false);
        SetEnvironmentVariableA(DSPPRB_MODE_ENV, nullptr);
        SetEnvironmentVariableA(TV_STATUS_ENV, nullptr);
        g_notices.clear();
    }

    // Brivue's App Paths key, whose folder holds the TV status library.
    void InstallBrivue(bool withStatusLibrary)
    {
        RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, BRIVUE_APP_PATH_KEY, "Path", world.FolderOf(BRIVUE_FOLDER));
        CreateDirectoryA(world.FolderOf(BRIVUE_FOLDER).c_str(), nullptr);
        if (withStatusLibrary) {
            ASSERT_TRUE(world.PutStaged(BRIVUE_FOLDER, TV_STATUS_LIBRARY));
        }
    }

    // A launcher; the settings are read afresh when no controller holds the
    // store. Below Windows 8 nothing asks for AltRunner.
    std::unique_ptr<CKovaLnchCtrl> NewLauncher(uint32_t osClass = OS_CLASS_WIN7, IReceiverReports* receiver = nullptr)
    {
        if (CConfig::InstanceCount() == 0) {
            ResetConfigStoreForTests();
        }
        OverrideOsClassForTests(osClass);
        return std::make_unique<CKovaLnchCtrl>(receiver, &retriesLeft);
    }

    // A media application's window of that class (and title); minimized
    // windows never come to the front, so only their categories make them
    // targets.
    HWND OpenApp(const std::string& className, const std::string& title, const std::string& extra = "")
    {
        HWND window = world.OpenWindow("/class=" + className + " /title=" + title + " " + extra);
        EXPECT_NE(window, nullptr) << className;
        return window;
    }

    std::vector<std::string> Shown() const
    {
        std::vector<std::string> texts;
        for (const std::string& line : world.Journal().Calls("orlanosd.dll", "OnScreen_DisplayA")) {
            texts.push_back(ParseJournalFields(line)["text"]);
        }
        return texts;
    }

    // Presses a button; waits for what it started (startsExpected more
    // programs, beside the launch threads, which are waited for anyway).
    Outcome Press(CLnchCtrl& launcher, uint32_t code, uint8_t origin = 0, size_t startsExpected = 0)
    {
        const size_t starts = world.Starts().size();
        const size_t shown = Shown().size();
        const size_t notices = g_notices.size();
        launcher.LaunchButton(code, origin);
        EXPECT_TRUE(WaitForLaunchThreads());
        EXPECT_TRUE(world.WaitForStarts(starts + startsExpected));
        return Since(starts, shown, notices);
    }

    Outcome Since(size_t starts, size_t shown, size_t notices) const
    {
        Outcome outcome;
        std::vector<std::string> parts;
        const std::vector<StartedProgram> started = world.Starts();
        for (size_t i = starts; i < started.size(); ++i) {
            parts.push_back(started[i].Name + (started[i].Args.empty() ? "" : " " + started[i].Args));
        }
        outcome.Started = Join(parts);
        const std::vector<std::string> texts = Shown();
        outcome.Shown = Join(std::vector<std::string>(texts.begin() + static_cast<long>(shown), texts.end()));
        outcome.Notices = Join(std::vector<std::string>(g_notices.begin() + static_cast<long>(notices), g_notices.end()));
        return outcome;
    }

    LaunchWorld world;
    int retriesLeft = 3;
    std::string MediaCenter;
    std::string Brivue;
    std::string Halcyon;
    std::string TunerDeck;
};

using RemoteProfileTest = ProfileTest;

// ---- Buttons and their profiles ----

TEST_F(RemoteProfileTest, CodesLoadTheirProfiles)
{
    for (uint32_t index : {0u, 1u, 10u, 11u, 12u, 13u}) {
        WriteProfile(index, "M", {world.Program(("p" + std::to_string(index) + ".exe").c_str())});
    }
    SetTunerDeckInstalled(true);  // the TV profiles start only what a TV application can use
    auto launcher = NewLauncher();
    struct Case {
        uint32_t code;
        const char* started;
        const char* shown;
    };
    const Case cases[] = {
        {2, "p1.exe", "Profile2"},
        {110, "p1.exe", "Profile2"},
        {108, "p10.exe", "Profile11"},
        {112, "p11.exe", "Profile12"},
        {4, "", ""},
        {8, "", ""},
        {109, "", ""},
        {111, "", ""},
        {115, "", ""},
        {1, "p13.exe", "Profile14"},
        {16, "p0.exe", "Profile1"},
        {256, "p0.exe", "Profile1"},
        {95, "p12.exe", "Profile13"},
        {BRIVUE_RETRY_CODE, "p0.exe", ""},  // the retry tick shows no name
    };
    for (const Case& c : cases) {
        const Outcome o = Press(*launcher, c.code);
        EXPECT_EQ(o.Started, c.started) << "code " << c.code;
        EXPECT_EQ(o.Shown, c.shown) << "code " << c.code;
        EXPECT_EQ(o.Notices, "") << "code " << c.code;
    }
}

// Brivue, TunerDeck or Halcyon running: a command to the running one, or
// nothing, in place of a profile.
TEST_F(RemoteProfileTest, RunningTvApplicationsGetACommandInsteadOfAProfile)
{
    InstallBrivue(false);
    WriteProfile(0, "M", {world.Program("p0.exe")});
    WriteProfile(12, "M", {world.Program("p12.exe")});
    const std::string tag = std::to_string(GetCurrentProcessId());
    const std::string tvTarget = "KovaTv" + tag;        // category 0
    const std::string startTarget = "KovaStart" + tag;  // category 4 (mask 0x10)
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, TARGET_WINDOWS_KEY, "Wnd1_Class", tvTarget);
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, TARGET_WINDOWS_KEY, "Wnd1_Control", 0x10000);
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, TARGET_WINDOWS_KEY, "Wnd1_Msg", 1);
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, TARGET_WINDOWS_KEY, "Wnd2_Class", startTarget);
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, TARGET_WINDOWS_KEY, "Wnd2_Control", 0x100000);
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, TARGET_WINDOWS_KEY, "Wnd2_Msg", 2);
    const std::map<std::string, HWND> targets = {
        {tvTarget, OpenApp(tvTarget, tvTarget, "/show=min")},
        {startTarget, OpenApp(startTarget, startTarget, "/show=min")},
    };
    // Loaded on Windows 8 with a full-screen app in front; each row says
    // whether the system is that new.
    SetEnvironmentVariableA(DSPPRB_MODE_ENV, FULL_SCREEN_APP_MODE);
    auto launcher = NewLauncher(OS_CLASS_LATER);
    auto commands = [&](const std::string& className, UINT msg) {
        std::vector<unsigned long long> seen;
        for (const WindowEvent& e : world.WindowEvents(className)) {
            if (e.Kind == "message" && Number(e.Fields, "msg") == msg) {
                seen.push_back(Number(e.Fields, "lparam"));
            }
        }
        return seen;
    };

    struct Case {
        const char* running;  // B Brivue, T TunerDeck, H Halcyon
        uint32_t code;
        bool windows8;        // with AltRunner installed
        const char* started;
        std::vector<unsigned long long> tvCommands;
        std::vector<unsigned long long> startCommands;
        int retriesLeft;
    };
    const Case cases[] = {
        {"", 95, false, "p12.exe", {}, {}, 3},
        {"", 113, false, "p0.exe", {}, {}, 3},
        {"", 114, false, "p12.exe", {}, {}, 3},
        {"T", 95, false, "", {}, {}, 3},
        {"T", 114, false, "", {}, {}, 3},
        {"T", 113, false, "p0.exe", {}, {}, 3},
        {"H", 1, false, "", {}, {}, 3},
        {"B", 95, false, "", {}, {}, 3},
        {"B", 113, false, "", {}, {68}, 0},
        {"B", 114, false, "", {29}, {}, 3},
        // AltRunner brings the desktop forward first; its mere presence also
        // changes every profile, so these rows come last.
        {"B", 114, true, "AltRunner.exe /100", {70}, {}, 3},
        {"B", 113, true, "AltRunner.exe /100", {}, {68}, 0},
    };
    for (const Case& c : cases) {
        const std::string running = c.running;
        std::vector<HWND> apps;
        if (running == "B") {
            apps.push_back(OpenApp(Brivue, "Brivue"));
        } else if (running == "T") {
            apps.push_back(OpenApp(TunerDeck, "AnyTitle"));
        } else if (running == "H") {
            apps.push_back(OpenApp(Halcyon, "Halcyon"));
        }
        if (c.windows8) {
            world.ProgramIn(REMOTE_PROGRAM_FOLDER, ALT_RUNNER_FILE);  // a running copy stays as it is
        }
        OverrideOsClassForTests(c.windows8 ? OS_CLASS_LATER : OS_CLASS_WIN7);
        const size_t tvBefore = commands(tvTarget, WM_APP + 1).size();
        const size_t startBefore = commands(startTarget, WM_APP + 2).size();
        retriesLeft = 3;
        const Outcome o = Press(*launcher, c.code, 0, c.started[0] ? 1 : 0);
        world.Fence(targets);
        const std::string row = std::string("running ") + c.running + ", code " + std::to_string(c.code);
        EXPECT_EQ(o.Started, c.started) << row;
        EXPECT_EQ(o.Notices, "") << row;
        const std::vector<unsigned long long> tv = commands(tvTarget, WM_APP + 1);
        const std::vector<unsigned long long> start = commands(startTarget, WM_APP + 2);
        EXPECT_EQ(std::vector<unsigned long long>(tv.begin() + static_cast<long>(tvBefore), tv.end()), c.tvCommands)
            << row;
        EXPECT_EQ(std::vector<unsigned long long>(start.begin() + static_cast<long>(startBefore), start.end()),
                  c.startCommands)
            << row;
        EXPECT_EQ(retriesLeft, c.retriesLeft) << row;
        for (HWND app : apps) {
            EXPECT_TRUE(world.CloseWindow(app)) << row;
        }
    }
}

// After a button woke a connected-standby PC whose display had gone off,
// 113 and 114 wait (LaunchDelay, then up to 25 x 200 ms) for a Brivue that
// is still closing.
TEST_F(RemoteProfileTest, AWakeByButtonWaitsForAClosingBrivue)
{
    InstallBrivue(false);
    WriteProfile(12, "M", {world.Program("p12.exe")});
    const std::string tvTarget = "KovaTv" + std::to_string(GetCurrentProcessId());
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, TARGET_WINDOWS_KEY, "Wnd1_Class", tvTarget);
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, TARGET_WINDOWS_KEY, "Wnd1_Control", 0x10000);
    const std::map<std::string, HWND> targets = {{tvTarget, OpenApp(tvTarget, tvTarget, "/show=min")}};
    auto launcher = NewLauncher();

    struct Case {
        uint8_t origin;
        int connectedStandby;
        bool displayOffSeen;
        uint32_t launchDelay;
        int brivueClosesAfterMs;  // 0: it stays
        const char* started;
        int commands;  // 29 posted to the TV target
        DWORD atLeastMs;
    };
    const Case cases[] = {
        {WAKE_ORIGIN_BUTTON, 1, true, 0, 1500, "p12.exe", 0, 0},
        // No wait otherwise: the command goes to the Brivue that still runs.
        {0, 1, true, 0, 1500, "", 1, 0},
        {WAKE_ORIGIN_BUTTON, 1, false, 0, 1500, "", 1, 0},
        {WAKE_ORIGIN_BUTTON, 0, true, 0, 1500, "", 1, 0},
        {WAKE_ORIGIN_BUTTON, 1, true, 300, 0, "", 1, 300 + 24 * 200},
        // A delay of days would hang the program: it is cut to 5 s.
        {WAKE_ORIGIN_BUTTON, 1, true, 0xFFFFFFFF, 1500, "p12.exe", 0, 4900},
    };
    for (const Case& c : cases) {
        const std::string row = "row " + std::to_string(&c - cases);
        RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, CONTROLS_KEY, "LaunchDelay", c.launchDelay);
        OverrideConnectedStandbyForTests(c.connectedStandby);
        SetAppDisplayOffSeen(c.displayOffSeen);
        HWND brivue = OpenApp(Brivue, "Brivue",
                              c.brivueClosesAfterMs ? "/close-after=" + std::to_string(c.brivueClosesAfterMs) : "");
        const int before = world.Received(tvTarget, WM_APP + 100, 29);
        const DWORD start = GetTickCount();
        const Outcome o = Press(*launcher, 114, c.origin);
        const DWORD elapsed = GetTickCount() - start;
        world.Fence(targets);
        EXPECT_EQ(o.Started, c.started) << row;
        EXPECT_EQ(world.Received(tvTarget, WM_APP + 100, 29) - before, c.commands) << row;
        EXPECT_GE(elapsed, c.atLeastMs) << row;
        if (IsWindow(brivue)) {
            EXPECT_TRUE(world.CloseWindow(brivue));
        }
    }
}

// ---- The receiver and the TV status library ----

// A receiver whose third collection answers feature reports, read once so
// that the launch reports have a collection to go to.
class TvReceiver {
public:
    TvReceiver()
    {
        RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, DEVICE_IDENTITY_KEY, "ProductID1", TEST_PRODUCT);
        RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, DEVICE_IDENTITY_KEY, "VendorID1", TEST_VENDOR);
        host.Run(PlugCommand(3, "0xFFBC", "0x88", "feature=9"));
        control = std::make_unique<CHidControl>(window.Handle());
        window.Attach(control.get());
        uint8_t code = 0;
        EXPECT_EQ(control->ReadWakeButton(&code), WAKE_STATUS_OK);
    }
    ~TvReceiver() { control.reset(); }

    // Feature reports since the given count of events: "set BYTES" or
    // "get BYTES" (or "get ID failed").
    std::vector<std::string> Reports(size_t since) const
    {
        std::vector<std::string> reports;
        const std::vector<std::string> events = host.Events();
        for (size_t i = since; i < events.size(); ++i) {
            const std::string& e = events[i];
            const bool set = e.rfind("setfeature ", 0) == 0;
            if (!set && e.rfind("getfeature ", 0) != 0) {
                continue;
            }
            // "setfeature N handle H BYTES"
            size_t bytes = 0;
            for (int word = 0; word < 4 && bytes != std::string::npos; ++word) {
                bytes = e.find(' ', bytes + (word ? 1 : 0));
            }
            reports.push_back((set ? "set " : "get ") + e.substr(bytes + 1));
        }
        return reports;
    }
    size_t EventCount() const { return host.Events().size(); }

    ReceiverHost host;
    HidTestWindow window;
    std::unique_ptr<CHidControl> control;
    CReceiverReports reports{nullptr};
};

constexpr char HANDSHAKE[] = "set 02 fd 71 00 00 00 00 00";
constexpr char TV_READY[] = "set 02 10 80 00 00 00 00 00 02";

// With DTFlags 1, button 113 asks the receiver first (the launch
// handshake), and 16 and 256 the TV status library, which lets the receiver
// know that the TV is ready.
TEST_F(RemoteProfileTest, TheReceiverAndTheTvStatusComeFirstWhenTheTvButtonsUseTheReceiver)
{
    InstallBrivue(true);
    WriteProfile(0, "M", {world.Program("p0.exe")});
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, CONTROLS_KEY, "DTFlags", 1);
    TvReceiver receiver;
    const RemoteTexts& texts = CConfig::GetRemoteTexts();
    const std::string tvError =
        NoticeOf(MSGBOX_SLOT_TV_NOTICE, (std::string(texts.BVErrString1) + "\n" + texts.BVErrString2).c_str());

    struct Case {
        uint32_t code;
        const char* receiverCommand;
        bool library;
        const char* status;
        std::vector<std::string> reports;
        const char* started;
        const char* shown;
        std::string notices;
        int retriesLeft;
    };
    const Case cases[] = {
        {113, "feature 3 02 fd 00", true, "0", {HANDSHAKE, "get 02 fd 00 00 00 00 00 00"}, "p0.exe", "Profile1", "", 3},
        // State 1: no name on screen.
        {113, "feature 3 02 fd 01", true, "0", {HANDSHAKE, "get 02 fd 01 00 00 00 00 00"}, "p0.exe", "", "", 3},
        {113, "failfeature 3 1", true, "0", {HANDSHAKE, "get 02 failed"}, "", "", "", 3},
        {16, nullptr, true, "0", {TV_READY}, "p0.exe", "", "", 3},
        {256, nullptr, true, "0", {TV_READY}, "p0.exe", "", "", 3},
        {16, nullptr, true, "7", {}, "", "", tvError, 0},
        {16, nullptr, false, "0", {}, "", "", tvError, 0},
    };
    for (const Case& c : cases) {
        const std::string row = "row " + std::to_string(&c - cases);
        if (c.receiverCommand) {
            receiver.host.Run(c.receiverCommand);
        }
        if (!c.library) {
            ASSERT_TRUE(DeleteFileA((world.FolderOf(BRIVUE_FOLDER) + "\\" + TV_STATUS_LIBRARY).c_str()));
        }
        SetEnvironmentVariableA(TV_STATUS_ENV, c.status);
        auto launcher = NewLauncher(OS_CLASS_WIN7, &receiver.reports);
        const size_t events = receiver.EventCount();
        const size_t calls = world.Journal().Calls(TV_STATUS_LIBRARY, TV_STATUS_EXPORT).size();
        retriesLeft = 3;
        const Outcome o = Press(*launcher, c.code);
        EXPECT_EQ(receiver.Reports(events), c.reports) << row;
        EXPECT_EQ(o.Started, c.started) << row;
        EXPECT_EQ(o.Shown, c.shown) << row;
        EXPECT_EQ(o.Notices, c.notices) << row;
        EXPECT_EQ(retriesLeft, c.retriesLeft) << row;
        const std::vector<std::string> asked = world.Journal().Calls(TV_STATUS_LIBRARY, TV_STATUS_EXPORT);
        ASSERT_EQ(asked.size(), calls + (c.code != 113 && c.library ? 1 : 0)) << row;
        if (asked.size() > calls) {
            EXPECT_EQ(ParseJournalFields(asked.back())["arg"], "-1") << row;
        }
    }
    // Without a receiver to ask, 113 does nothing at all.
    auto deaf = NewLauncher();
    const Outcome o = Press(*deaf, 113);
    EXPECT_EQ(o.Started + o.Shown + o.Notices, "");
}

// ---- Profiles that cannot be used ----

TEST_F(RemoteProfileTest, UnusableProfilesShowTheirMessageOrNone)
{
    const RemoteTexts texts = DefaultRemoteTexts();
    const std::string plain = world.Program("plain.exe");
    const std::string centerLauncher = world.ProgramIn(REMOTE_PROGRAM_FOLDER, CENTER_LAUNCHER_FILE);
    struct Case {
        uint32_t code;
        std::string tvEntry;  // profile 0's only entry; empty: no profiles at all
        bool msgBoxDisable;
        const char* started;
        std::string notices;
        int retriesLeft;
    };
    const Case cases[] = {
        // Without Brivue or TunerDeck the TV profile starts only the Media
        // Center launcher.
        {16, plain, false, "", NoticeOf(MSGBOX_SLOT_LAUNCH_FAILED, texts.NoAppStringBV), 0},
        {16, centerLauncher, false, "CenterLnch.exe", "", 3},
        {95, "", false, "", NoticeOf(MSGBOX_SLOT_LAUNCH_FAILED, texts.NoAppStringBV), 0},
        {2, "", false, "", NoticeOf(MSGBOX_SLOT_LAUNCH_NOTICE, texts.NoAppStringDVD), 3},
        {1, "", false, "", NoticeOf(MSGBOX_SLOT_HALCYON_NOTICE, texts.NoAppStringHal), 3},
        {108, "", false, "", "", 3},
        {2, "", true, "", "", 3},
        {16, plain, true, "", "", 3},
    };
    for (const Case& c : cases) {
        const std::string row = "code " + std::to_string(c.code) + " " + c.tvEntry;
        ClearProfiles();
        if (!c.tvEntry.empty()) {
            WriteProfile(0, "M", {c.tvEntry});
        }
        RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, CONTROLS_KEY, "MsgBox_Disable", c.msgBoxDisable ? 1 : 0);
        auto launcher = NewLauncher();
        retriesLeft = 3;
        const Outcome o = Press(*launcher, c.code);
        EXPECT_EQ(o.Started, c.started) << row;
        EXPECT_EQ(o.Notices, c.notices) << row;
        EXPECT_EQ(retriesLeft, c.retriesLeft) << row;
    }
}

// What makes a profile usable, and what the request then holds.
TEST_F(RemoteProfileTest, OnlyWholeProfilesAreLoaded)
{
    const std::string app = world.Program("app.exe");
    const std::string second = world.Program("second.exe");
    const std::string work = world.Folder();
    const std::string centerLauncher = world.ProgramIn(REMOTE_PROGRAM_FOLDER, CENTER_LAUNCHER_FILE);
    auto launcher = NewLauncher();
    using Values = std::vector<std::pair<std::string, std::string>>;
    const Values good = {{"Name", "Two"}, {"NumAp", "1"}, {"Exec", "M"}, {"AP1", app + "|/x"}, {"Work1", work}};
    auto with = [&](Values changes) {
        Values values = good;
        for (const auto& change : changes) {
            values.push_back(change);  // written later, so it wins
        }
        return values;
    };
    Values twentyOne = with({{"NumAp", "21"}});
    for (int k = 2; k <= 21; ++k) {
        twentyOne.push_back({"AP" + std::to_string(k), app});
    }
    struct Case {
        uint32_t index;
        Values values;
        bool tunerDeck;
        BOOL loaded;
        std::string exec0;
        std::string params0;
        std::string work0;
        uint32_t keys0;
        int count;
    };
    const Case cases[] = {
        {2, good, false, TRUE, app, "/x", work, 0, 1},
        {2, with({{"Work1", "C:\\no\\such\\folder"}}), false, TRUE, app, "/x", "", 0, 1},
        {2, with({{"Exec", " P "}}), false, TRUE, app, "/x", work, 0, 1},
        {2, with({{"Exec", "m"}}), false, FALSE, "", "", "", 0, 0},
        {2, with({{"Exec", "Q"}}), false, FALSE, "", "", "", 0, 0},
        {2, with({{"NumAp", "0"}}), false, FALSE, "", "", "", 0, 0},
        {2, with({{"NumAp", "x"}}), false, FALSE, "", "", "", 0, 0},
        // More entries than a request holds: refused, not cut.
        {2, twentyOne, false, FALSE, "", "", "", 0, 0},
        {2, with({{"NumAp", "2"}}), false, FALSE, "", "", "", 0, 0},
        {2, with({{"NumAp", " 2 "}, {"AP2", "  "}}), false, FALSE, "", "", "", 0, 0},
        {2, with({{"NumAp", "2"}, {"AP2", second}}), false, TRUE, app, "/x", work, 0, 2},
        {2, with({{"AP1", "C:\\no\\such.exe"}}), false, FALSE, "", "", "", 0, 0},
        {2, {{"NumAp", "1"}, {"Exec", "M"}, {"AP1", app}}, false, FALSE, "", "", "", 0, 0},
        // A first key of 0x88 makes a number beyond the signed range.
        {2, {{"Name", "K"}, {"NumAp", "2"}, {"Exec", "K"}, {"AP1", "2281701376"}, {"AP2", "287130414"}},
         false, TRUE, "", "", "", 0x88000000u, 2},
        {19, good, false, TRUE, app, "/x", work, 0, 1},
        {20, good, false, FALSE, "", "", "", 0, 0},
        // The TV profiles without Brivue: TunerDeck or the Media Center
        // launcher.
        {0, good, false, FALSE, "", "", "", 0, 0},
        {12, good, false, FALSE, "", "", "", 0, 0},
        {0, good, true, TRUE, app, "/x", work, 0, 1},
        {0, with({{"AP1", centerLauncher}}), false, TRUE, centerLauncher, "", work, 0, 1},
    };
    for (const Case& c : cases) {
        const std::string row = "profile " + std::to_string(c.index) + ", row " + std::to_string(&c - cases);
        ClearProfiles();
        WriteValues(c.index, c.values);
        SetTunerDeckInstalled(c.tunerDeck);
        ASSERT_EQ(launcher->LoadButtonProfile(c.index), c.loaded) << row;
        const LaunchRequest& r = CLnchCtrl::Request;
        EXPECT_EQ(r.ButtonIndex, c.index) << row;
        if (!c.loaded) {
            continue;
        }
        EXPECT_EQ(r.Count, c.count) << row;
        EXPECT_STREQ(r.Exec[0], c.exec0.c_str()) << row;
        EXPECT_STREQ(r.Params[0], c.params0.c_str()) << row;
        EXPECT_STREQ(r.WorkDir[0], c.work0.c_str()) << row;
        EXPECT_EQ(r.Keys[0], c.keys0) << row;
    }
    // The name is cut to 127 characters.
    ClearProfiles();
    WriteValues(3, with({{"Name", std::string(200, 'n')}}));
    ASSERT_TRUE(launcher->LoadButtonProfile(3));
    EXPECT_EQ(std::string(CLnchCtrl::ProfileName), std::string(127, 'n'));
}

TEST_F(RemoteProfileTest, AltRunnerTakesThePlaceOfTheFirstEntry)
{
    const std::string altRunner = world.ProgramIn(REMOTE_PROGRAM_FOLDER, ALT_RUNNER_FILE);
    WriteProfile(4, "M", {world.Program("first.exe"), world.Program("second.exe")});
    WriteProfile(5, "K", {"287130414"});
    auto launcher = NewLauncher();

    ASSERT_TRUE(launcher->LoadButtonProfile(5));
    EXPECT_STREQ(CLnchCtrl::Request.Exec[0], "") << "key combinations stay";
    ASSERT_TRUE(launcher->LoadButtonProfile(4));
    EXPECT_STREQ(CLnchCtrl::Request.Exec[0], altRunner.c_str());
    EXPECT_STREQ(CLnchCtrl::Request.Params[0], "/4");
    launcher->ExecuteLaunchRequest();
    ASSERT_TRUE(world.WaitForStarts(2));
    ASSERT_TRUE(WaitForLaunchThreads());
    const std::vector<StartedProgram> starts = world.Starts();
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[0].Name, ALT_RUNNER_FILE);
    EXPECT_EQ(starts[0].Args, "/4");
    EXPECT_EQ(starts[1].Name, "second.exe");
    EXPECT_GE(starts[1].Ms - starts[0].Ms, PAUSE_MS);
}

// ---- The Media Center shell ----

TEST_F(RemoteProfileTest, TheMediaCenterShellIsMaximizedMinimizedOrLeftAlone)
{
    ASSERT_TRUE(EnsureMediaCenterShell());
    InstallBrivue(false);
    WriteProfile(10, "M", {world.Program("p10.exe")});
    WriteProfile(0, "M", {world.Program("p0.exe")});
    const std::string p1 = world.Program("p1.exe");
    auto launcher = NewLauncher();
    const UINT query = RegisterWindowMessageA(MEDIA_CENTER_FULLSCREEN_MESSAGE);
    struct Case {
        uint32_t code;
        int fullScreen;  // the shell's answer
        bool shellInProfile1;
        bool brivue;
        bool tunerDeckInstalled;
        const char* started;
        bool zoomed;
        bool iconic;
    };
    const Case cases[] = {
        {108, 0, false, false, false, "p10.exe", true, false},
        {108, 1, false, false, false, "p10.exe", false, false},
        {2, 0, false, false, false, "p1.exe", false, true},
        // The shell itself would fight Brivue for the tuner: nothing starts.
        {2, 0, true, true, false, "", false, false},
        {2, 0, true, false, false, "ehshell.exe", false, false},
        {16, 0, false, false, true, "p0.exe", false, true},
        {16, 0, false, false, false, "p0.exe", false, false},
    };
    for (const Case& c : cases) {
        const std::string row = "row " + std::to_string(&c - cases);
        WriteProfile(1, "M", {c.shellInProfile1 ? MEDIA_CENTER_SHELL_PATH : p1});
        SetTunerDeckInstalled(c.tunerDeckInstalled);
        HWND shell = OpenApp(MediaCenter, "MediaCenter",
                             "/answer=" + std::string(MEDIA_CENTER_FULLSCREEN_MESSAGE) + ":" +
                                 std::to_string(c.fullScreen));
        HWND brivue = c.brivue ? OpenApp(Brivue, "Brivue") : nullptr;
        const int asked = world.Received(MediaCenter, query, 0);
        const Outcome o = Press(*launcher, c.code);
        world.Fence({{MediaCenter, shell}});
        EXPECT_EQ(o.Started, c.started) << row;
        EXPECT_EQ(IsZoomed(shell) != FALSE, c.zoomed) << row;
        EXPECT_EQ(IsIconic(shell) != FALSE, c.iconic) << row;
        EXPECT_EQ(world.Received(MediaCenter, query, 0) - asked, c.code == 108 ? 1 : 0) << row;
        EXPECT_TRUE(world.CloseWindow(shell));
        if (brivue) {
            EXPECT_TRUE(world.CloseWindow(brivue));
        }
    }
    HWND shell = OpenApp(MediaCenter, "MediaCenter", "/show=min");
    EXPECT_FALSE(launcher->MinimizeWindow(shell)) << "already minimized";
    EXPECT_FALSE(launcher->MinimizeWindow(nullptr));
    EXPECT_FALSE(launcher->MaximizeMediaCenter(nullptr));
    EXPECT_TRUE(launcher->MaximizeMediaCenter(shell)) << "a shell without an answer is maximized";
}

TEST_F(RemoteProfileTest, NamesAndPathsOfProfilesAreLookedUpWithoutLaunching)
{
    const std::string a = world.Program("a.exe");
    const std::string b = world.Program("b.exe");
    WriteProfile(14, "M", {a});
    WriteProfile(3, "M", {a, b});
    WriteProfile(4, "M", {"C:\\no\\such.exe", b});
    auto launcher = NewLauncher();

    const size_t shown = Shown().size();
    launcher->ShowButtonProfileName(14);
    ASSERT_TRUE(WaitForLaunchThreads());
    EXPECT_EQ(Since(0, shown, 0).Started, "") << "only the name is shown";
    EXPECT_EQ(Since(0, shown, 0).Shown, "Profile15");

    std::string upper = b;
    CharUpperA(upper.data());
    struct Case {
        uint32_t index;
        const char* path;
        BOOL contains;
    };
    const Case cases[] = {
        {3, b.c_str(), TRUE},
        {3, upper.c_str(), TRUE},
        {3, "C:\\other.exe", FALSE},
        {4, b.c_str(), FALSE},  // the search ends at an entry that cannot be resolved
        {20, a.c_str(), FALSE},
        {3, nullptr, FALSE},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(launcher->ProfileContainsPath(c.index, c.path), c.contains) << "row " << (&c - cases);
    }
    EXPECT_EQ(CLnchCtrl::Request.ButtonIndex, 14u) << "the request stays as it was";
    EXPECT_STREQ(CLnchCtrl::Request.Exec[0], a.c_str());
}

// ---- One-touch sets ----

using OneTouchTest = ProfileTest;

// A one-touch button's key: HKCU set S, or the machine's default set for 0.
std::string ButtonKey(uint32_t set, int button)
{
    if (set != 0) {
        return std::string(ONE_TOUCH_USER_SET_PREFIX) + std::to_string(set) + "\\AppKey" + std::to_string(button);
    }
    return std::string(ONE_TOUCH_DEFAULT_SET_KEY) + "\\AppKey" + std::to_string(button);
}

void WriteButton(uint32_t set, int button, const char* title, const char* mode, const std::vector<std::string>& entries,
                 const std::string& work = "")
{
    const HKEY root = set ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    const std::string key = ButtonKey(set, button);
    RegistrySandbox::SetString(root, key.c_str(), "DispTitle", title);
    RegistrySandbox::SetDword(root, key.c_str(), "NumAP", static_cast<uint32_t>(entries.size()));
    RegistrySandbox::SetString(root, key.c_str(), "Execute", mode);
    for (size_t k = 0; k < entries.size(); ++k) {
        const std::string name = "Btn" + std::to_string(button) + "_AP" + std::to_string(k + 1);
        RegistrySandbox::SetString(root, key.c_str(), name.c_str(), entries[k]);
    }
    if (!work.empty()) {
        RegistrySandbox::SetString(root, key.c_str(), "Work", work);
    }
}

TEST_F(OneTouchTest, ButtonsReadTheUsersCurrentSetOrTheMachinesDefault)
{
    WriteButton(2, 3, "User3", "M", {world.Program("u3.exe")});
    WriteButton(0, 3, "Default3", "M", {world.Program("d3.exe")});
    CTeskLnchCtrl launcher;
    const std::string noApplication = NoticeOf(MSGBOX_SLOT_ONE_TOUCH, CConfig::GetRemoteTexts().NoAppMessage);
    struct Case {
        int currSetting;  // -1: none
        uint32_t code;
        const char* started;
        const char* shown;
        std::string notices;
    };
    const Case cases[] = {
        {2, 106, "u3.exe", "User3", ""},
        {2, 1024, "u3.exe", "User3", ""},
        {-1, 106, "d3.exe", "Default3", ""},
        {0, 1024, "d3.exe", "Default3", ""},
        {5, 106, "", "", noApplication},  // a set without that button
        {2, 109, "", "", ""},
        {2, 4096, "", "", noApplication},  // button 5 is in no set
    };
    for (const Case& c : cases) {
        const std::string row = "set " + std::to_string(c.currSetting) + ", code " + std::to_string(c.code);
        if (c.currSetting < 0) {
            RegistrySandbox::DeleteValue(HKEY_CURRENT_USER, ONE_TOUCH_USER_KEY, "CurrSetting");
        } else {
            RegistrySandbox::SetDword(HKEY_CURRENT_USER, ONE_TOUCH_USER_KEY, "CurrSetting", c.currSetting);
        }
        EXPECT_EQ(CTeskLnchCtrl::GetCurrentSet(), static_cast<uint32_t>(c.currSetting < 0 ? 0 : c.currSetting));
        const Outcome o = Press(launcher, c.code);
        EXPECT_EQ(o.Started, c.started) << row;
        EXPECT_EQ(o.Shown, c.shown) << row;
        EXPECT_EQ(o.Notices, c.notices) << row;
    }
}

TEST_F(OneTouchTest, UnusableButtonsShowTheNoApplicationMessage)
{
    const std::string app = world.Program("app.exe");
    // The message box setting of the remote does not silence it.
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, CONTROLS_KEY, "MsgBox_Disable", 1);
    CTeskLnchCtrl launcher;
    const std::string noApplication = NoticeOf(MSGBOX_SLOT_ONE_TOUCH, CConfig::GetRemoteTexts().NoAppMessage);
    const std::string key = ButtonKey(0, 1);
    struct Case {
        const char* value;
        DWORD type;  // REG_NONE: the value is removed
        std::string data;
    };
    const Case cases[] = {
        {"NumAP", REG_DWORD, "0"},
        {"NumAP", REG_NONE, ""},
        {"NumAP", REG_DWORD, "21"},  // more than a request holds: refused, not cut
        {"Execute", REG_SZ, "m"},
        {"DispTitle", REG_NONE, ""},
        {"Btn1_AP1", REG_SZ, "C:\\no\\such.exe"},
        {"Btn1_AP1", REG_SZ, " "},
    };
    for (const Case& c : cases) {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str());
        WriteButton(0, 1, "One", "M", std::vector<std::string>(21, app));
        RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, key.c_str(), "NumAP", 1);
        if (c.type == REG_NONE) {
            RegistrySandbox::DeleteValue(HKEY_LOCAL_MACHINE, key.c_str(), c.value);
        } else if (c.type == REG_DWORD) {
            RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, key.c_str(), c.value, std::stoul(c.data));
        } else {
            RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, key.c_str(), c.value, c.data);
        }
        const Outcome o = Press(launcher, 104);
        EXPECT_EQ(o.Started, "") << c.value << " " << c.data;
        EXPECT_EQ(o.Notices, noApplication) << c.value << " " << c.data;
    }
}

// Buttons 1 and 2 start their programs maximized in modes "M" and "P", as
// the full-screen buttons of the remote do; every entry gets the one "Work".
TEST_F(OneTouchTest, EntriesShareTheWorkFolderAndTheFirstTwoButtonsStartMaximized)
{
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof(temp), temp);
    const std::string work = std::string(temp).substr(0, std::string(temp).size() - 1);
    CTeskLnchCtrl launcher;
    struct Case {
        uint32_t code;
        int button;
        const char* mode;
        std::vector<std::string> entries;
        int show;
    };
    const Case cases[] = {
        {104, 1, "M", {world.Program("m1.exe"), world.Program("m1b.exe")}, SW_SHOWMAXIMIZED},
        {512, 2, "P", {world.Program("p2.exe")}, SW_SHOWMAXIMIZED},
        {106, 3, "M", {world.Program("m3.exe")}, SW_SHOWNORMAL},
        {4096, 5, "P", {world.Program("p5.exe")}, SW_SHOWNORMAL},
    };
    for (const Case& c : cases) {
        const std::string row = "code " + std::to_string(c.code);
        WriteButton(0, c.button, "Title", c.mode, c.entries, work);
        const size_t before = world.Starts().size();
        launcher.LaunchButton(c.code, 0);
        ASSERT_TRUE(world.WaitForStarts(before + c.entries.size())) << row;
        const std::vector<StartedProgram> starts = world.Starts();
        for (size_t i = before; i < starts.size(); ++i) {
            EXPECT_EQ(starts[i].Show, c.show) << row << ", " << starts[i].Name;
            EXPECT_EQ(starts[i].Folder, work) << row << ", " << starts[i].Name;
        }
        ASSERT_TRUE(WaitForLaunchThreads()) << row;
    }
}

}  // namespace
