// The send-window watcher and the priority watcher: the start-up clean-up of
// the client registrations, registrations arriving while running, and both
// threads ending promptly at shut-down.

#include "core/watchers.h"

#include "config/config.h"
#include "core/main_ctrl.h"
#include "tests/core/hub_fixture.h"
#include "tests/support/kova_process.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class WatchersTest : public ::testing::Test {
protected:
    void SetUp() override { ResetConfigStoreForTests(); }
    void TearDown() override
    {
        StopWatchers();
        CMainCtrl::MainWindow = nullptr;
        ResetConfigStoreForTests();
    }

    // Runs the clean-up on the sandboxed key.
    static bool CleanUp()
    {
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, SEND_WINDOW_KEY, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
        bool changed = CleanUpSendWindowRegistrations(key);
        RegCloseKey(key);
        return changed;
    }

    static HWND RegisteredWindow(int number)
    {
        TargetWindowEntry entry{};
        CConfig::GetTargetWindow(number - 1, &entry);
        return entry.Window;
    }

    // A duplicate of a watcher's handle, to see whether it ended after the
    // shut-down closed its own.
    static HANDLE Watch(HANDLE thread)
    {
        HANDLE copy = nullptr;
        DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &copy, SYNCHRONIZE | THREAD_QUERY_INFORMATION,
                        FALSE, 0);
        return copy;
    }
    static void ExpectEndedWithZero(HANDLE thread)
    {
        ASSERT_NE(thread, nullptr);
        EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0) << "ended, not abandoned";
        DWORD code = STILL_ACTIVE;
        GetExitCodeThread(thread, &code);
        EXPECT_EQ(code, 0u);
        CloseHandle(thread);
    }

    RegistrySandbox sandbox;
};

TEST_F(WatchersTest, StartUpKeepsRegistrationsMadeWhileNotRunningAndDisablesLeftOvers)
{
    // Made while the program was not running: kept, mark removed.
    SetSendWindowValue("hWnd", 3, 0x1234);
    SetSendWindowValue("Fail", 3, 1);
    // Left over from an earlier run: disabled.
    SetSendWindowValue("hWnd", 4, 0x1234);
    SetSendWindowValue("Msg", 4, 9);
    // A fail value other than 1 does not save it, and stays.
    SetSendWindowValue("hWnd", 5, 0x99);
    SetSendWindowValue("Fail", 5, 0);
    // Values of the wrong type are left alone.
    RegistrySandbox::SetString(HKEY_CURRENT_USER, SEND_WINDOW_KEY, SendWindowValueName("Fail", 6).c_str(), "1");
    SetSendWindowValue("hWnd", 6, 0x66);
    RegistrySandbox::SetString(HKEY_CURRENT_USER, SEND_WINDOW_KEY, SendWindowValueName("hWnd", 7).c_str(), "0x77");
    // Numbers above 256 are not looked at.
    SetSendWindowValue("hWnd", 257, 0x257);
    SetSendWindowValue("Fail", 300, 1);
    SetSendWindowValue("hWnd", 300, 0x300);

    EXPECT_TRUE(CleanUp());

    uint32_t value = 0;
    ASSERT_TRUE(GetSendWindowValue("hWnd", 3, &value));
    EXPECT_EQ(value, 0x1234u);
    EXPECT_FALSE(SendWindowValueExists("Fail", 3));
    ASSERT_TRUE(GetSendWindowValue("hWnd", 4, &value));
    EXPECT_EQ(value, 0u);
    ASSERT_TRUE(GetSendWindowValue("Msg", 4, &value));
    EXPECT_EQ(value, 9u) << "only the window value is touched";
    ASSERT_TRUE(GetSendWindowValue("hWnd", 5, &value));
    EXPECT_EQ(value, 0u);
    ASSERT_TRUE(GetSendWindowValue("Fail", 5, &value));
    EXPECT_EQ(value, 0u);
    ASSERT_TRUE(GetSendWindowValue("hWnd", 6, &value));
    EXPECT_EQ(value, 0x66u);
    EXPECT_TRUE(SendWindowValueExists("hWnd", 7));
    ASSERT_TRUE(GetSendWindowValue("hWnd", 257, &value));
    EXPECT_EQ(value, 0x257u);
    ASSERT_TRUE(GetSendWindowValue("hWnd", 300, &value));
    EXPECT_EQ(value, 0x300u);
    EXPECT_TRUE(SendWindowValueExists("Fail", 300));
}

TEST_F(WatchersTest, DisablingLeftOversAloneIsNoChange)
{
    SetSendWindowValue("hWnd", 4, 0x1234);
    SetSendWindowValue("hWnd", 8, 0);
    EXPECT_FALSE(CleanUp()) << "nothing to load from left-overs";
    uint32_t value = 1;
    ASSERT_TRUE(GetSendWindowValue("hWnd", 4, &value));
    EXPECT_EQ(value, 0u);
}

TEST_F(WatchersTest, TheWatcherLoadsKeptRegistrationsAndFollowsNewOnes)
{
    SetSendWindowValue("hWnd", 3, 0x1234);
    SetSendWindowValue("Msg", 3, 5);
    SetSendWindowValue("Fail", 3, 1);
    SetSendWindowValue("hWnd", 4, 0x4444);
    CConfig config;
    CMainCtrl::MainWindow = GetDesktopWindow();
    ASSERT_TRUE(StartSendWindowWatcher());
    HANDLE thread = Watch(SendWindowWatcherThread);

    ASSERT_TRUE(WaitUntil([] { return RegisteredWindow(3) == reinterpret_cast<HWND>(0x1234); }, 10000));
    EXPECT_EQ(RegisteredWindow(4), nullptr) << "the left-over is not loaded";

    // A registration written while the program runs (kovaapi found no
    // window to send it to).
    SetSendWindowValue("Msg", 9, 2);
    SetSendWindowValue("Ctrl", 9, 0x00010000);
    SetSendWindowValue("hWnd", 9, 0x9999);
    ASSERT_TRUE(WaitUntil([] { return RegisteredWindow(9) == reinterpret_cast<HWND>(0x9999); }, 10000));
    TargetWindowEntry entry{};
    ASSERT_TRUE(CConfig::GetTargetWindow(8, &entry));
    EXPECT_EQ(entry.Message, TARGET_MESSAGE_BASE + 2);
    EXPECT_EQ(entry.Categories, 0x00010000u);

    StopWatchers();
    EXPECT_EQ(SendWindowWatcherThread, nullptr);
    ExpectEndedWithZero(thread);
}

TEST_F(WatchersTest, TheShutDownEndsBothWatchersPromptly)
{
    CConfig config;
    CMainCtrl::MainWindow = GetDesktopWindow();
    ASSERT_TRUE(StartSendWindowWatcher());
    ASSERT_TRUE(StartPriorityWatcher());
    HANDLE sendWindow = Watch(SendWindowWatcherThread);
    HANDLE priority = Watch(PriorityWatcherThread);
    Sleep(100);  // both in their waits
    StopWatchers();
    EXPECT_EQ(SendWindowWatcherRunning, 0);
    EXPECT_EQ(PriorityWatcherRunning, 0);
    // The priority watcher was in its one-minute pause; had its wait not
    // been woken it would have been abandoned after 5.5 s.
    ExpectEndedWithZero(sendWindow);
    ExpectEndedWithZero(priority);

    // They can be started and stopped again.
    ASSERT_TRUE(StartSendWindowWatcher());
    sendWindow = Watch(SendWindowWatcherThread);
    StopWatchers();
    ExpectEndedWithZero(sendWindow);
}

TEST_F(WatchersTest, WithoutItsStopEventThePriorityWatcherStillWaitsItsMinute)
{
    // A window of this process, whose priority class is below normal.
    HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    CMainCtrl::MainWindow = window;
    const DWORD before = GetPriorityClass(GetCurrentProcess());
    ASSERT_TRUE(SetPriorityClass(GetCurrentProcess(), BELOW_NORMAL_PRIORITY_CLASS));
    FailWatcherStopEventsForTests(true);
    ASSERT_TRUE(StartPriorityWatcher());
    FailWatcherStopEventsForTests(false);
    HANDLE priority = Watch(PriorityWatcherThread);

    // Had it skipped its pause it would be done at once, the class put back.
    EXPECT_EQ(WaitForSingleObject(priority, 500), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), static_cast<DWORD>(BELOW_NORMAL_PRIORITY_CLASS));
    // It looks at its run flag while it pauses, so the shut-down still ends it.
    StopWatchers();
    ExpectEndedWithZero(priority);
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), static_cast<DWORD>(BELOW_NORMAL_PRIORITY_CLASS));
    SetPriorityClass(GetCurrentProcess(), before);
    DestroyWindow(window);
}

}  // namespace
