// The launcher with real processes: copies of the launch stand-in journal
// when they start, with their arguments, folder and show command.

#include "launch/lnch_ctrl.h"

#include "base/app_context.h"
#include "base/power.h"

#include "tests/launch/launch_world.h"
#include "tests/support/kova_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr char APP_PATHS[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\kovaplayer.exe";
constexpr char SONG_SELECTOR[] = "SOFTWARE\\Tallis\\SongBox Selector\\Settings";
// The pause between entries, less what the sleep of the system may cut short.
constexpr long long PAUSE_MS = 950;

// Names of the started programs, in the order given or sorted.
std::string Names(const std::vector<StartedProgram>& starts, bool sorted = false)
{
    std::vector<std::string> names;
    for (const StartedProgram& s : starts) {
        names.push_back(s.Name);
    }
    if (sorted) {
        std::sort(names.begin(), names.end());
    }
    std::string joined;
    for (const std::string& name : names) {
        joined += name + " ";
    }
    return joined;
}

// Tells a launch stand-in to go, once its window exists.
bool CloseProgram(DWORD pid)
{
    HWND window = nullptr;
    if (!WaitUntil([&] { return (window = FindProcessWindow(pid, "KovaLaunchStub")) != nullptr; }, LAUNCH_WAIT_MS)) {
        return false;
    }
    return PostMessageA(window, WM_CLOSE, 0, 0) != FALSE;
}

// ---- Entries and paths ----

TEST(LaunchEntryTest, SplitAtTheFirstBarAndCutToTheirFields)
{
    struct Case {
        std::string text;
        std::string path;
        std::string params;
    };
    const Case cases[] = {
        {"notepad|readme.txt", "notepad", "readme.txt"},
        {"C:\\a b\\p.exe", "C:\\a b\\p.exe", ""},
        {"p.exe|one|two", "p.exe", "one"},
        {"|only", "", "only"},
        {"p.exe|", "p.exe", ""},
        {" p.exe | x ", " p.exe ", " x "},
        {"p|" + std::string(200, 'a'), "p", std::string(127, 'a')},
        {std::string(600, 'q') + "|x", std::string(521, 'q'), "x"},
    };
    for (const Case& c : cases) {
        char path[LAUNCH_EXEC_SIZE];
        char params[LAUNCH_PARAMS_SIZE];
        ASSERT_TRUE(CLnchCtrl::SplitCommandEntry(c.text.c_str(), path, params)) << c.text;
        EXPECT_EQ(path, c.path) << c.text;
        EXPECT_EQ(params, c.params) << c.text;
    }
    char path[LAUNCH_EXEC_SIZE];
    char params[LAUNCH_PARAMS_SIZE];
    EXPECT_FALSE(CLnchCtrl::SplitCommandEntry(nullptr, path, params));
}

TEST(LaunchEntryTest, ShortcutsAreKnownByTheirExtension)
{
    struct Case {
        const char* path;
        BOOL shortcut;
        const char* after;
    };
    const Case cases[] = {
        {"C:\\x\\Player.LNK", TRUE, "C:\\x\\Player.lnk"},
        {"a.lnk", TRUE, "a.lnk"},
        {"a.lnk.exe", FALSE, "a.lnk.exe"},
        {"C:\\dir.lnk\\prog", FALSE, "C:\\dir.lnk\\prog"},
        {"lnk", FALSE, "lnk"},
        {"a.lnkx", FALSE, "a.lnkx"},
        {"", FALSE, ""},
    };
    for (const Case& c : cases) {
        char path[MAX_PATH];
        lstrcpynA(path, c.path, sizeof(path));
        EXPECT_EQ(CLnchCtrl::IsShortcutFile(path), c.shortcut) << c.path;
        EXPECT_STREQ(path, c.after);
    }
    EXPECT_FALSE(CLnchCtrl::IsShortcutFile(nullptr));
}

TEST(LaunchPathTest, PathsAreResolvedThroughBracketsTheSearchPathOrLeftAsTheyAre)
{
    LaunchWorld world;
    const std::string folder = world.Folder();
    world.Program("order.pif");
    world.Program("order.com");
    world.Program("order.exe");
    world.Program("found.com");
    world.Program("found.exe");
    world.Program("onlyexe.exe");
    world.Program("SBSelector.exe");
    // The search path ends with PATH, read at each search.
    char oldPath[8192] = {};
    GetEnvironmentVariableA("PATH", oldPath, sizeof(oldPath));
    SetEnvironmentVariableA("PATH", (folder + ";" + oldPath).c_str());
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, APP_PATHS, "", "\"" + folder + "\\onlyexe.exe\"");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, SONG_SELECTOR, "SetupPath", folder);
    RegistrySandbox::CreateKey(HKEY_LOCAL_MACHINE, "Software\\Orlan\\NoDefault");

    struct Case {
        std::string path;
        BOOL usable;
        std::string resolved;  // empty: unchanged
    };
    const Case cases[] = {
        {"order", TRUE, folder + "\\order.pif"},
        {"found", TRUE, folder + "\\found.com"},
        {"onlyexe", TRUE, folder + "\\onlyexe.exe"},
        {"onlyexe.exe", TRUE, folder + "\\onlyexe.exe"},
        {"missing", FALSE, ""},
        {"found.bat", FALSE, ""},
        {folder + "\\found.exe", TRUE, ""},
        {folder, TRUE, ""},
        {"C:\\nowhere\\found", FALSE, ""},
        {"nowhere\\found", FALSE, ""},
        {std::string("[") + APP_PATHS + "]", TRUE, folder + "\\onlyexe.exe"},
        {std::string("text [") + APP_PATHS + "] around", TRUE, folder + "\\onlyexe.exe"},
        {std::string("[") + SONG_SELECTOR + "]", TRUE, folder + "\\SBSelector.exe"},
        {"[Software\\Orlan\\Missing]", FALSE, ""},
        {"[Software\\Orlan\\NoDefault]", FALSE, ""},
        {"[" + std::string(300, 'k') + "]", FALSE, ""},
    };
    for (const Case& c : cases) {
        char path[MAX_PATH] = {};
        lstrcpynA(path, c.path.c_str(), sizeof(path));
        EXPECT_EQ(CLnchCtrl::ResolveExecutablePath(path, sizeof(path)), c.usable) << c.path;
        if (c.usable) {
            EXPECT_STREQ(path, (c.resolved.empty() ? c.path : c.resolved).c_str()) << c.path;
        }
    }
    char small[MAX_PATH - 1] = "found";
    EXPECT_FALSE(CLnchCtrl::ResolveExecutablePath(small, sizeof(small))) << "room for a whole path is required";
    char unterminated[MAX_PATH];
    std::fill(std::begin(unterminated), std::end(unterminated), 'x');
    EXPECT_FALSE(CLnchCtrl::ResolveExecutablePath(unterminated, sizeof(unterminated)));
    EXPECT_FALSE(CLnchCtrl::ResolveExecutablePath(nullptr, MAX_PATH));
    SetEnvironmentVariableA("PATH", oldPath);
}

TEST(LaunchPathTest, ShortcutsAndSpecialApplicationsAreLookedUp)
{
    LaunchWorld world;
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, SPECIAL_APPS_KEY, "ApName1", "other.exe");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, SPECIAL_APPS_KEY, "ApOpt1", "/other");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, SPECIAL_APPS_KEY, "ApName2", "Special.EXE");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, SPECIAL_APPS_KEY, "ApOpt2", "/full " + std::string(200, 'o'));
    const std::string special = world.Program("special.exe");
    const std::string plain = world.Program("plain.exe");
    TestLauncher launcher;

    char option[LAUNCH_PARAMS_SIZE] = {};
    EXPECT_TRUE(CLnchCtrl::LookupSpecialAppOption(special.c_str(), option));
    EXPECT_EQ(std::string(option), "/full " + std::string(121, 'o')) << "cut to 127 characters";
    EXPECT_FALSE(CLnchCtrl::LookupSpecialAppOption(plain.c_str(), option));
    EXPECT_FALSE(CLnchCtrl::LookupSpecialAppOption((world.Folder() + "\\other.exe").c_str(), option))
        << "the file must exist";
    EXPECT_FALSE(CLnchCtrl::LookupSpecialAppOption("", option));

    const std::string lnk = world.Folder() + "\\player.lnk";
    ASSERT_TRUE(MakeShortcut(lnk, special, "/from-link", world.Folder()));
    char target[LAUNCH_RESOLVED_SIZE];
    char args[LAUNCH_RESOLVED_SIZE];
    char workDir[LAUNCH_RESOLVED_SIZE];
    ASSERT_TRUE(CLnchCtrl::ResolveShortcut(lnk.c_str(), target, args, workDir));
    EXPECT_STREQ(target, special.c_str());
    EXPECT_STREQ(args, "/from-link");
    EXPECT_STREQ(workDir, world.Folder().c_str());
    EXPECT_FALSE(CLnchCtrl::ResolveShortcut((world.Folder() + "\\none.lnk").c_str(), target, args, workDir));
    EXPECT_FALSE(CLnchCtrl::ResolveShortcut(plain.c_str(), target, args, workDir)) << "not a shortcut";
    // A shortcut to a shell folder has no file path: the shortcut itself is
    // started instead of an empty file name.
    const std::string folderLink = world.Folder() + "\\computer.lnk";
    ASSERT_TRUE(MakeShortcut(folderLink, "", "", ""));
    EXPECT_FALSE(CLnchCtrl::ResolveShortcut(folderLink.c_str(), target, args, workDir));
    EXPECT_FALSE(CLnchCtrl::ResolveShortcut(std::string(400, 'l').c_str(), target, args, workDir));
}

// ---- Launch modes ----

class LaunchModeTest : public ::testing::Test {
protected:
    LaunchWorld world;
};

TEST_F(LaunchModeTest, EntriesStartOneSecondApartInModes1And3)
{
    auto launcher = std::make_unique<TestLauncher>();
    for (uint32_t mode : {LAUNCH_MODE_MULTIPLE, LAUNCH_MODE_PARALLEL}) {
        const std::string tag = std::to_string(mode);
        LaunchWorld::Prepare(mode, 2,
                             {world.Program(("a" + tag + ".exe").c_str()), world.Program(("b" + tag + ".exe").c_str()),
                              world.Program(("c" + tag + ".exe").c_str())});
        const size_t before = world.Starts().size();
        launcher->ExecuteLaunchRequest();
        ASSERT_TRUE(world.WaitForStarts(before + 3)) << "mode " << mode;
        ASSERT_TRUE(WaitForLaunchThreads());
        std::vector<StartedProgram> starts = world.Starts();
        ASSERT_EQ(starts.size(), before + 3);
        EXPECT_EQ(starts[before].Name, "a" + tag + ".exe");
        EXPECT_EQ(starts[before + 1].Name, "b" + tag + ".exe");
        EXPECT_EQ(starts[before + 2].Name, "c" + tag + ".exe");
        EXPECT_GE(starts[before + 1].Ms - starts[before].Ms, PAUSE_MS) << "mode " << mode;
        EXPECT_GE(starts[before + 2].Ms - starts[before + 1].Ms, PAUSE_MS) << "mode " << mode;
    }
}

// Mode 2 waits for each program to end, also for one whose exit code is
// the number that GetExitCodeProcess reports for a running process.
TEST_F(LaunchModeTest, Mode2StartsTheNextEntryOneSecondAfterThePreviousExited)
{
    TestLauncher launcher;
    for (const char* exitCode : {"0", "259"}) {
        SetEnvironmentVariableA("KOVA_LAUNCHSTUB_EXIT_CODE", exitCode);
        const std::string tag = exitCode;
        LaunchWorld::Prepare(
            LAUNCH_MODE_SEQUENTIAL, 0,
            {world.Program(("first" + tag + ".exe").c_str()), world.Program(("second" + tag + ".exe").c_str())});
        const size_t before = world.Starts().size();
        launcher.ExecuteLaunchRequest();
        ASSERT_TRUE(world.WaitForStarts(before + 1));
        const StartedProgram first = world.Starts()[before];
        ASSERT_TRUE(CloseProgram(first.Pid));
        ASSERT_TRUE(world.WaitForStarts(before + 2)) << "exit code " << exitCode;
        const StartedProgram second = world.Starts()[before + 1];
        EXPECT_EQ(second.Name, "second" + tag + ".exe");
        const long long exited = world.ExitMs(first.Pid);
        ASSERT_GE(exited, 0);
        EXPECT_GE(second.Ms - exited, PAUSE_MS) << "exit code " << exitCode;
        EXPECT_EQ(second.Show, SW_SHOWNORMAL) << "mode 2 never maximizes";
        ASSERT_TRUE(CloseProgram(second.Pid));
        ASSERT_TRUE(WaitForLaunchThreads());
    }
    SetEnvironmentVariableA("KOVA_LAUNCHSTUB_EXIT_CODE", nullptr);
}

TEST_F(LaunchModeTest, NothingStartsWithoutEntriesOrInAnotherMode)
{
    TestLauncher launcher;
    const std::string never = world.Program("never.exe");
    struct Case {
        uint32_t mode;
        std::vector<std::string> entries;
        bool thread;
    };
    // The rows without a thread come first, while no thread runs at all.
    const Case cases[] = {
        {0, {never}, false},
        {5, {never}, false},
        {0xFFFFFFFF, {never}, false},
        {LAUNCH_MODE_MULTIPLE, {}, true},
        {LAUNCH_MODE_SEQUENTIAL, {}, true},
        {LAUNCH_MODE_PARALLEL, {}, true},
    };
    for (const Case& c : cases) {
        LaunchWorld::Prepare(c.mode, 0, c.entries);
        launcher.ExecuteLaunchRequest();
        if (!c.thread) {
            EXPECT_EQ(ActiveLaunchThreads(), 0) << "mode " << c.mode << " starts no thread";
        }
    }
    // A count beyond the record is cut to its 20 entries, a negative one is 0.
    LaunchWorld::Prepare(LAUNCH_MODE_MULTIPLE, 2, {});
    CLnchCtrl::Request.Count = -5;
    launcher.ExecuteLaunchRequest();

    LaunchWorld::Prepare(LAUNCH_MODE_MULTIPLE, 2, {world.Program("fence.exe")});
    launcher.ExecuteLaunchRequest();
    ASSERT_TRUE(world.WaitForStarts(1));
    ASSERT_TRUE(WaitForLaunchThreads());
    EXPECT_EQ(Names(world.Starts()), "fence.exe ");
}

// What one entry hands to the program: parameters (its own, or the special
// application's option when it has none), folder and show command.
TEST_F(LaunchModeTest, ProgramsGetTheirParametersFolderAndShowCommand)
{
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, SPECIAL_APPS_KEY, "ApName1", "special.exe");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, SPECIAL_APPS_KEY, "ApOpt1", "/full");
    const std::string special = world.Program("special.exe");
    const std::string linked = world.Program("linked.exe");
    const std::string lnk = world.Folder() + "\\linked.lnk";
    ASSERT_TRUE(MakeShortcut(lnk, linked, "/from-link", world.Folder()));
    char oldPath[8192] = {};
    GetEnvironmentVariableA("PATH", oldPath, sizeof(oldPath));
    SetEnvironmentVariableA("PATH", (world.Folder() + ";" + oldPath).c_str());
    world.Program("bare.com");
    world.Program("bare.exe");
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof(temp), temp);
    const std::string elsewhere = std::string(temp).substr(0, std::string(temp).size() - 1);
    TestLauncher launcher;

    struct Case {
        uint32_t mode;
        uint32_t button;
        std::string entry;
        std::string workDir;
        std::string name;
        std::string args;
        int show;
        std::string folder;  // empty: not checked
    };
    const Case cases[] = {
        {LAUNCH_MODE_MULTIPLE, 0, world.Program("max0.exe"), "", "max0.exe", "", SW_SHOWMAXIMIZED, ""},
        {LAUNCH_MODE_MULTIPLE, 2, world.Program("norm2.exe") + "|a b", "", "norm2.exe", "a b", SW_SHOWNORMAL, ""},
        {LAUNCH_MODE_PARALLEL, 10, world.Program("max10.exe"), "", "max10.exe", "", SW_SHOWMAXIMIZED, ""},
        {LAUNCH_MODE_MULTIPLE, 12, world.Program("max12.exe"), "", "max12.exe", "", SW_SHOWMAXIMIZED, ""},
        {LAUNCH_MODE_MULTIPLE, 13, world.Program("norm13.exe"), "", "norm13.exe", "", SW_SHOWNORMAL, ""},
        {LAUNCH_MODE_SEQUENTIAL, 0, world.Program("seq0.exe"), "", "seq0.exe", "", SW_SHOWNORMAL, ""},
        {LAUNCH_MODE_MULTIPLE, 2, special, "", "special.exe", "/full", SW_SHOWNORMAL, ""},
        {LAUNCH_MODE_MULTIPLE, 2, special + "|mine", "", "special.exe", "mine", SW_SHOWNORMAL, ""},
        {LAUNCH_MODE_SEQUENTIAL, 2, special, "", "special.exe", "/full", SW_SHOWNORMAL, ""},
        {LAUNCH_MODE_MULTIPLE, 2, world.Program("dir.exe"), elsewhere, "dir.exe", "", SW_SHOWNORMAL, elsewhere},
        {LAUNCH_MODE_MULTIPLE, 2, "bare|readme.txt", "", "bare.com", "readme.txt", SW_SHOWNORMAL, ""},
        // Mode 2 starts a shortcut's target itself, with the shortcut's
        // arguments and folder in place of the entry's own.
        {LAUNCH_MODE_SEQUENTIAL, 2, lnk + "|extra", elsewhere, "linked.exe", "/from-link", SW_SHOWNORMAL,
         world.Folder()},
        // Modes 1 and 3 hand the shortcut itself to the shell, which adds
        // the entry's own parameters to the shortcut's.
        {LAUNCH_MODE_MULTIPLE, 2, lnk + "|extra", elsewhere, "linked.exe", "/from-link extra", SW_SHOWNORMAL,
         world.Folder()},
        {LAUNCH_MODE_PARALLEL, 2, lnk, "", "linked.exe", "/from-link", SW_SHOWNORMAL, world.Folder()},
    };
    for (const Case& c : cases) {
        LaunchWorld::Prepare(c.mode, c.button, {c.entry});
        ASSERT_TRUE(CLnchCtrl::ResolveExecutablePath(CLnchCtrl::Request.Exec[0], LAUNCH_EXEC_SIZE)) << c.entry;
        lstrcpynA(CLnchCtrl::Request.WorkDir[0], c.workDir.c_str(), LAUNCH_DIR_SIZE);
        const size_t before = world.Starts().size();
        launcher.ExecuteLaunchRequest();
        ASSERT_TRUE(world.WaitForStarts(before + 1)) << c.entry;
        const StartedProgram started = world.Starts()[before];
        EXPECT_EQ(started.Name, c.name) << c.entry;
        EXPECT_EQ(started.Args, c.args) << c.entry;
        EXPECT_EQ(started.Show, c.show) << c.entry;
        if (!c.folder.empty()) {
            EXPECT_EQ(started.Folder, c.folder) << c.entry;
        }
    }
    SetEnvironmentVariableA("PATH", oldPath);
}

TEST_F(LaunchModeTest, NothingStartsWhileTheDisplayOfAConnectedStandbyMachineIsOff)
{
    TestLauncher launcher;
    struct Case {
        bool displayOff;
        int connectedStandby;
        const char* name;
        bool starts;
    };
    const Case cases[] = {
        {true, 1, "refused.exe", false},
        {true, 0, "plainpc.exe", true},
        {false, 1, "displayon.exe", true},
    };
    std::vector<std::string> expected;
    for (const Case& c : cases) {
        SetAppDisplayOff(c.displayOff);
        OverrideConnectedStandbyForTests(c.connectedStandby);
        LaunchWorld::Prepare(LAUNCH_MODE_MULTIPLE, 2, {world.Program(c.name)});
        launcher.ExecuteLaunchRequest();
        if (!c.starts) {
            EXPECT_EQ(ActiveLaunchThreads(), 0) << "no thread is created";
        } else {
            expected.push_back(std::string(c.name) + " ");
        }
    }
    SetAppDisplayOff(false);
    OverrideConnectedStandbyForTests(-1);
    ASSERT_TRUE(world.WaitForStarts(2));
    ASSERT_TRUE(WaitForLaunchThreads());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Names(world.Starts(), true), expected[0] + expected[1]);
}

// ---- The last launcher ----

TEST_F(LaunchModeTest, TheLastLauncherEndsASequentialWaitAndLeavesTheProgramRunning)
{
    auto first = std::make_unique<TestLauncher>();
    auto second = std::make_unique<TestLauncher>();
    LaunchWorld::Prepare(LAUNCH_MODE_SEQUENTIAL, 2, {world.Program("stays.exe"), world.Program("never.exe")});
    first->ExecuteLaunchRequest();
    ASSERT_TRUE(world.WaitForStarts(1));
    const DWORD pid = world.Starts()[0].Pid;

    second.reset();
    EXPECT_EQ(ActiveLaunchThreads(), 1) << "launchers are left: the wait goes on";
    first.reset();
    ASSERT_TRUE(WaitForLaunchThreads()) << "the stop ends the wait for the program";
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(WaitForSingleObject(process, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "the program keeps running";
    CloseHandle(process);
    EXPECT_EQ(Names(world.Starts()), "stays.exe ");

    // A launcher made afterwards launches whole requests again.
    TestLauncher later;
    LaunchWorld::Prepare(LAUNCH_MODE_MULTIPLE, 2, {world.Program("later1.exe"), world.Program("later2.exe")});
    later.ExecuteLaunchRequest();
    ASSERT_TRUE(world.WaitForStarts(3));
    ASSERT_TRUE(WaitForLaunchThreads());
    EXPECT_EQ(Names(world.Starts()), "stays.exe later1.exe later2.exe ");
}

}  // namespace
