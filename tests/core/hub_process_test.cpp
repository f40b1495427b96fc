// kova.exe as a real process, watched from outside: the clean-up of the
// client registrations at start, the answers to WM_COPYDATA, the end of the
// session, the shut-down and the priority watcher.

#include "base/messages.h"
#include "config/target_window_table.h"
#include "core/watchers.h"
#include "osd/client_osd_request.h"
#include "tests/core/hub_fixture.h"
#include "tests/hid/receiver_host.h"
#include "tests/support/journal_fields.h"
#include "tests/support/journal_reader.h"
#include "tests/support/kova_process.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {


class HubProcessTest : public KovaProcessTest {
protected:
    ScopedJournal journal;

    LRESULT SendCopyData(HWND window, WPARAM kind, const void* data, DWORD size)
    {
        COPYDATASTRUCT copy{};
        copy.cbData = size;
        copy.lpData = const_cast<void*>(data);
        DWORD_PTR answer = 0;
        EXPECT_NE(SendMessageTimeoutA(window, WM_COPYDATA, kind, reinterpret_cast<LPARAM>(&copy), SMTO_NORMAL, 5000,
                                      &answer),
                  0)
            << "kova.exe answers";
        return static_cast<LRESULT>(answer);
    }
};

TEST_F(HubProcessTest, StartUpKeepsOfflineRegistrationsAndDisablesLeftOvers)
{
    SetSendWindowValue("hWnd", 3, 0x1234);
    SetSendWindowValue("Fail", 3, 1);
    SetSendWindowValue("hWnd", 4, 0x1234);
    SetSendWindowValue("hWnd", 300, 0x300);
    SetSendWindowValue("Fail", 300, 1);
    HWND window = StartKova();
    ASSERT_NE(window, nullptr);
    uint32_t value = 1;
    ASSERT_TRUE(WaitUntil(
        [&] { return GetSendWindowValue("hWnd", 4, &value) && value == 0 && !SendWindowValueExists("Fail", 3); },
        10000));
    ASSERT_TRUE(GetSendWindowValue("hWnd", 3, &value));
    EXPECT_EQ(value, 0x1234u) << "the offline registration stays in force";
    ASSERT_TRUE(GetSendWindowValue("hWnd", 300, &value));
    EXPECT_EQ(value, 0x300u) << "numbers above 256 are not cleaned";
    EXPECT_TRUE(SendWindowValueExists("Fail", 300));
    CloseAndExpectCleanExit(window);
}

TEST_F(HubProcessTest, EveryCopyDataIsAnsweredTrueAndBadOnesDoNoHarm)
{
    HWND window = StartKova();
    ASSERT_NE(window, nullptr);
    TargetWindowRegistration registration{};
    registration.hOwnerWnd = window;
    registration.ucId = 4;
    registration.uMsg = 0x10;
    registration.dwCtrl = 0x00010000;
    EXPECT_EQ(SendCopyData(window, COPYDATA_REGISTER_WINDOW, &registration, sizeof(registration)), TRUE);
    EXPECT_EQ(SendCopyData(window, COPYDATA_REGISTER_WINDOW, &registration, sizeof(registration) - 1), TRUE);
    EXPECT_EQ(SendCopyData(window, COPYDATA_REGISTER_WINDOW, &registration, 1), TRUE);
    EXPECT_EQ(SendCopyData(window, COPYDATA_REGISTER_WINDOW, nullptr, 0), TRUE);
    EXPECT_EQ(SendCopyData(window, 2, &registration, sizeof(registration)), TRUE);
    // On-screen requests: a short one, and one whose text fills its field
    // without an end (shown, but nothing of what follows the field).
    ClientOsdRequest request{};
    std::memset(request.Text, 'A', sizeof(request.Text));
    std::memset(request.Reserved1, 'Z', sizeof(request.Reserved1));
    EXPECT_EQ(SendCopyData(window, COPYDATA_OSD_REQUEST, &request, 20), TRUE);
    EXPECT_EQ(SendCopyData(window, COPYDATA_OSD_REQUEST, &request, sizeof(request)), TRUE);
    ASSERT_TRUE(journal.WaitForCalls("orlanosd.dll", "OnScreen_DisplayA", 1, 10000));
    auto shown = journal.Calls("orlanosd.dll", "OnScreen_DisplayA");
    ASSERT_EQ(shown.size(), 1u);
    const std::string text = ParseJournalFields(shown[0])["text"];
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text.find_first_not_of('A'), std::string::npos) << text;
    EXPECT_TRUE(kova.IsRunning());
    CloseAndExpectCleanExit(window);
}

TEST_F(HubProcessTest, TheEndOfTheSessionBlanksTheRemoteAndLeavesTheProgramRunning)
{
    AddTestReceiverIdentity();
    ReceiverHost host;
    host.Run(DisplayPlugCommand());
    HWND window = StartKova();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(host.WaitForEvents("opened 2", 1));
    EXPECT_EQ(DisplayReports(host), 0u) << "no INITLCD, no blanking at start";
    EXPECT_EQ(SendMessageA(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
    EXPECT_EQ(SendMessageA(window, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF), 0);
    EXPECT_EQ(BlankingReports(host), 1u) << "kova's own copy of the client library wrote report 4";
    EXPECT_EQ(DisplayReports(host), 1u);
    EXPECT_TRUE(kova.IsRunning());
    CloseAndExpectCleanExit(window);
}

TEST_F(HubProcessTest, InitLcdBlanksTheRemoteAtStart)
{
    AddTestReceiverIdentity();
    ReceiverHost host;
    host.Run(DisplayPlugCommand());
    HWND window = StartKova("/initlcd");
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(host.WaitForEvents("output 2 ", 1, 5000));
    EXPECT_EQ(BlankingReports(host), 1u);
    CloseAndExpectCleanExit(window);
}

TEST_F(HubProcessTest, AProgramStartedBelowNormalPriorityIsNormalAboutAMinuteLater)
{
    HWND window = StartKova();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(SetPriorityClass(kova.Handle(), BELOW_NORMAL_PRIORITY_CLASS));
    Sleep(5000);
    EXPECT_EQ(GetPriorityClass(kova.Handle()), static_cast<DWORD>(BELOW_NORMAL_PRIORITY_CLASS))
        << "the watcher waits a minute first";
    EXPECT_TRUE(WaitUntil([&] { return GetPriorityClass(kova.Handle()) == NORMAL_PRIORITY_CLASS; }, 75000));
    CloseAndExpectCleanExit(window);
}

}  // namespace
