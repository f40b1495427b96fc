// kova.exe as a real process: single instance, window class, orderly exit.

#include "base/messages.h"
#include "core/opt_ctrl.h"
#include "tests/support/kova_process.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using StartupTest = KovaProcessTest;

TEST_F(StartupTest, SecondCopyExitsWithOneAndFirstKeepsRunning)
{
    HWND window = StartKova();
    ASSERT_NE(window, nullptr);

    ChildProcess second;
    ASSERT_TRUE(second.Start(StagedPath("kova.exe"), "INITLCD"));
    DWORD code = 0;
    ASSERT_TRUE(second.WaitForExit(SHUTDOWN_LIMIT_MS, &code));
    EXPECT_EQ(code, 1u);
    EXPECT_EQ(FindProcessWindow(second.Id(), MAIN_WINDOW_CLASS), nullptr) << "the second copy made no window";

    EXPECT_TRUE(kova.IsRunning());
    EXPECT_TRUE(IsWindow(window));
    CloseAndExpectCleanExit(window);
}

TEST_F(StartupTest, MainWindowIsHiddenAndNeverActivated)
{
    HWND window = StartKova();
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_TRUE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_NOACTIVATE);
    EXPECT_TRUE(GetWindowLongA(window, GWL_STYLE) & WS_POPUP);
    EXPECT_NE(GetForegroundWindow(), window);
    CloseAndExpectCleanExit(window);
}

TEST_F(StartupTest, KeyboardFeaturesChooseTheKeyboardWindowClass)
{
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, "Software\\Orlan\\Kova\\Controls", "Tesk_Enable", 1);
    HWND window = StartKova("", KEYBOARD_WINDOW_CLASS);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(FindWindowA(MAIN_WINDOW_CLASS, nullptr), nullptr)
        << "client programs looking for the remote's class do not find the keyboard program";
    CloseAndExpectCleanExit(window);
}

TEST_F(StartupTest, TeskEnableZeroKeepsTheRemoteClass)
{
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, "Software\\Orlan\\Kova\\Controls", "Tesk_Enable", 0);
    HWND window = StartKova("/util");
    ASSERT_NE(window, nullptr);
    CloseAndExpectCleanExit(window);
}

// EXIT beside a running copy closes it and ends as every second copy does,
// only after the running copy has gone, so an uninstaller may go on at once.
TEST_F(StartupTest, ExitClosesTheRunningCopyBeforeItEnds)
{
    HWND window = StartKova();
    ASSERT_NE(window, nullptr);

    ChildProcess closer;
    ASSERT_TRUE(closer.Start(StagedPath("kova.exe"), "/exit"));
    DWORD code = 0;
    ASSERT_TRUE(closer.WaitForExit(SHUTDOWN_LIMIT_MS + 5000, &code));
    EXPECT_EQ(code, 1u);
    EXPECT_FALSE(kova.IsRunning()) << "the running copy had ended before EXIT returned";
    ASSERT_TRUE(kova.WaitForExit(0, &code));
    EXPECT_EQ(code, 0u) << "the running copy ended the orderly way";
}

// Alone, EXIT ends at once and leaves nothing behind: the fence is a new copy
// that starts as the first one.
TEST_F(StartupTest, ExitWithoutARunningCopyEndsAtOnce)
{
    ChildProcess alone;
    ASSERT_TRUE(alone.Start(StagedPath("kova.exe"), "EXIT"));
    DWORD code = 99;
    ASSERT_TRUE(alone.WaitForExit(START_TIMEOUT_MS, &code));
    EXPECT_EQ(code, 0u);
    HWND window = StartKova();
    ASSERT_NE(window, nullptr) << "the EXIT copy kept neither the mutex nor a window";
    CloseAndExpectCleanExit(window);
}

TEST_F(StartupTest, ANewCopyCanStartOnceTheOldOneHasEnded)
{
    HWND window = StartKova();
    ASSERT_NE(window, nullptr);
    CloseAndExpectCleanExit(window);
    window = StartKova();
    ASSERT_NE(window, nullptr);
    CloseAndExpectCleanExit(window);
}

// The mutex lives in the logon session, which these tests share with
// kova.exe: so this in-process check runs with the process tests.
TEST(SingleInstanceTest, TheMutexTellsFirstFromLaterCopies)
{
    auto first = std::make_unique<COptCtrl>(const_cast<char*>("EXIT"));
    EXPECT_TRUE(first->IsFirstInstance());
    EXPECT_EQ(first->GetOptions(), OPT_EXIT);
    {
        COptCtrl second(nullptr);
        EXPECT_FALSE(second.IsFirstInstance());
        EXPECT_EQ(second.GetOptions(), 0u);
    }
    first.reset();
    COptCtrl third(nullptr);
    EXPECT_TRUE(third.IsFirstInstance()) << "the mutex goes with the object that held it";
}

}  // namespace
