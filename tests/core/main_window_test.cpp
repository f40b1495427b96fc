// The main window's procedure: what each message does and answers, what a
// client's WM_COPYDATA may and may not make it do, and the order of the
// shut-down.

#include "core/main_window.h"

#include "base/messages.h"
#include "core/main_ctrl.h"
#include "core/watchers.h"
#include "osd/client_osd_request.h"
#include "tests/core/hub_fixture.h"
#include "tests/hid/receiver_host.h"
#include "tests/support/journal_fields.h"
#include "tests/support/journal_reader.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <memory>
#include <vector>

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetConfigStoreForTests();
        HubLog::Clear();
    }
    void TearDown() override
    {
        window.reset();
        InitLcdAtCreate = FALSE;
        ResetConfigStoreForTests();
    }
    void Start()
    {
        window = std::make_unique<MainWindowHost>();
        window->InstallKeyController();
    }
    HWND Window() const { return window->Handle(); }

    LRESULT SendCopyData(WPARAM kind, const void* data, DWORD size)
    {
        COPYDATASTRUCT copy{};
        copy.dwData = 0;
        copy.cbData = size;
        copy.lpData = const_cast<void*>(data);
        return SendMessageA(Window(), WM_COPYDATA, kind, reinterpret_cast<LPARAM>(&copy));
    }

    // The table entry that registration number n lands in, or a zero entry.
    static TargetWindowEntry Registered(int number)
    {
        TargetWindowEntry entry{};
        CConfig::GetTargetWindow(CConfig::GetTargetWindowStaticCount() + number - 1, &entry);
        return entry;
    }

    RegistrySandbox sandbox;
    ScopedJournal journal;
    std::unique_ptr<MainWindowHost> window;
};

TargetWindowRegistration Registration(uint8_t id, HWND owner)
{
    TargetWindowRegistration r{};
    r.hOwnerWnd = owner;
    r.ucId = id;
    r.uMsg = 0x20;
    r.dwCtrl = 0x00010000;
    return r;
}

TEST_F(MainWindowTest, AClientRegistrationIsAppliedOnlyWhenTheWholeRecordArrived)
{
    Start();
    HWND owner = Window();
    TargetWindowRegistration whole = Registration(5, owner);
    EXPECT_EQ(SendCopyData(COPYDATA_REGISTER_WINDOW, &whole, sizeof(whole)), TRUE);
    EXPECT_EQ(Registered(5).Window, owner);
    EXPECT_EQ(Registered(5).Message, TARGET_MESSAGE_BASE + 0x20);

    // A larger buffer holding the record is fine.
    std::vector<uint8_t> larger(64, 0);
    TargetWindowRegistration six = Registration(6, owner);
    std::memcpy(larger.data(), &six, sizeof(six));
    EXPECT_EQ(SendCopyData(COPYDATA_REGISTER_WINDOW, larger.data(), static_cast<DWORD>(larger.size())), TRUE);
    EXPECT_EQ(Registered(6).Window, owner);
}

TEST_F(MainWindowTest, MalformedCopyDataIsAnsweredTrueAndChangesNothing)
{
    Start();
    HWND owner = Window();
    TargetWindowRegistration seven = Registration(7, owner);
    // One byte short, and nothing at all.
    EXPECT_EQ(SendCopyData(COPYDATA_REGISTER_WINDOW, &seven, sizeof(seven) - 1), TRUE);
    EXPECT_EQ(SendCopyData(COPYDATA_REGISTER_WINDOW, &seven, 0), TRUE);
    // A size without data, and no copy-data record.
    EXPECT_EQ(SendCopyData(COPYDATA_REGISTER_WINDOW, nullptr, sizeof(seven)), TRUE);
    EXPECT_EQ(SendMessageA(Window(), WM_COPYDATA, COPYDATA_REGISTER_WINDOW, 0), TRUE);
    // A kind the program does not know, and number 0.
    EXPECT_EQ(SendCopyData(2, &seven, sizeof(seven)), TRUE);
    TargetWindowRegistration zero = Registration(0, owner);
    EXPECT_EQ(SendCopyData(COPYDATA_REGISTER_WINDOW, &zero, sizeof(zero)), TRUE);
    // An on-screen request shorter than its record.
    char text[16] = "\0short";
    EXPECT_EQ(SendCopyData(COPYDATA_OSD_REQUEST, text, sizeof(text)), TRUE);

    EXPECT_EQ(CConfig::GetTargetWindowHighest(), CConfig::GetTargetWindowStaticCount()) << "nothing registered";
    EXPECT_EQ(Registered(7).Flags, 0u);
}

// The texts the display library was asked to show, in order.
std::vector<std::string> ShownTexts(const ScopedJournal& journal)
{
    std::vector<std::string> texts;
    for (const std::string& line : journal.Calls("orlanosd.dll", "OnScreen_DisplayA")) {
        texts.push_back(ParseJournalFields(line)["text"]);
    }
    return texts;
}

TEST_F(MainWindowTest, ClientTextsAreShownOnlyFromWholeRecordsAndNeverPastTheirField)
{
    RegistrySandbox::SetDword(HKEY_CURRENT_USER, ONSCREEN_USER_KEY, "Time", 1);
    Start();
    ClientOsdRequest request{};
    std::strcpy(request.Text, "hello");
    EXPECT_EQ(SendCopyData(COPYDATA_OSD_REQUEST, &request, sizeof(request)), TRUE);
    EXPECT_EQ(SendCopyData(COPYDATA_OSD_REQUEST, &request, sizeof(request) - 1), TRUE);
    EXPECT_EQ(SendCopyData(COPYDATA_OSD_REQUEST, nullptr, sizeof(request)), TRUE);
    // A text that fills its field without an end, followed by other bytes.
    std::memset(request.Text, 'A', sizeof(request.Text));
    std::memset(request.Reserved1, 'Z', sizeof(request.Reserved1));
    EXPECT_EQ(SendCopyData(COPYDATA_OSD_REQUEST, &request, sizeof(request)), TRUE);
    ASSERT_TRUE(journal.WaitForCalls("orlanosd.dll", "OnScreen_DisplayA", 2, 10000));
    auto texts = ShownTexts(journal);
    ASSERT_EQ(texts.size(), 2u) << "the short record and the one without data showed nothing";
    EXPECT_EQ(texts[0], "hello");
    EXPECT_FALSE(texts[1].empty());
    EXPECT_EQ(texts[1].find('Z'), std::string::npos) << texts[1];
    EXPECT_EQ(texts[1].find_first_not_of('A'), std::string::npos) << texts[1];
}

TEST_F(MainWindowTest, PlayerNoticesShowTheirTextsAndPlayAndPauseShowThoseOfPlayAndPause)
{
    for (int i = 0; i < 7; ++i) {
        char name[8];
        std::snprintf(name, sizeof(name), "Str%02d", i);
        RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, AUDIO_CONTROL_STRINGS_KEY, name, "text" + std::to_string(i));
    }
    RegistrySandbox::SetDword(HKEY_CURRENT_USER, ONSCREEN_USER_KEY, "Time", 1);
    Start();
    for (LPARAM notice = 0; notice <= 8; ++notice) {
        EXPECT_EQ(SendMessageA(Window(), WM_PLAYER_OSD, PLAYER_OSD_TAG, notice), 0);
    }
    // Only the low words count.
    SendMessageA(Window(), WM_PLAYER_OSD, 0x50000 | PLAYER_OSD_TAG, 0x70002);
    // Nothing for another tag or a notice without a text.
    SendMessageA(Window(), WM_PLAYER_OSD, 99, 1);
    SendMessageA(Window(), WM_PLAYER_OSD, PLAYER_OSD_TAG, 9);
    SendMessageA(Window(), WM_PLAYER_OSD, PLAYER_OSD_TAG, 0xFFFF);
    ASSERT_TRUE(journal.WaitForCalls("orlanosd.dll", "OnScreen_DisplayA", 10, 10000));
    std::vector<std::string> expected = {"text0", "text1", "text2", "text3", "text4", "text5",
                                         "text6", "text3", "text6", "text2"};
    EXPECT_EQ(ShownTexts(journal), expected);
}

TEST_F(MainWindowTest, TheEndOfTheSessionIsAllowedAndBlanksTheRemoteEitherWay)
{
    AddTestReceiverIdentity();
    ReceiverHost host;
    host.Run(DisplayPlugCommand());
    Start();
    EXPECT_EQ(SendMessageA(Window(), WM_QUERYENDSESSION, 0, 0), TRUE);
    EXPECT_EQ(DisplayReports(host), 0u);
    // Cancelled, then real.
    EXPECT_EQ(SendMessageA(Window(), WM_ENDSESSION, FALSE, 0), 0);
    EXPECT_EQ(SendMessageA(Window(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF), 0);
    EXPECT_EQ(BlankingReports(host), 2u);
    EXPECT_TRUE(IsWindow(Window())) << "the end of the session does not destroy the window";
    window.reset();  // before the receiver goes
}

TEST_F(MainWindowTest, InitLcdBlanksTheRemoteOnceTheWindowIsCreated)
{
    AddTestReceiverIdentity();
    ReceiverHost host;
    host.Run(DisplayPlugCommand());
    InitLcdAtCreate = TRUE;
    Start();
    EXPECT_EQ(BlankingReports(host), 1u);
    EXPECT_EQ(DisplayReports(host), 1u);
    window.reset();  // before the receiver goes
}

TEST_F(MainWindowTest, TheNumericEntryTimeoutEndsTheEntryOnce)
{
    Start();
    ASSERT_NE(SetTimer(Window(), IDT_NUMERIC_ENTRY, 50, nullptr), 0u);
    PumpFor(500);
    EXPECT_EQ(HubLog::With("key FinishNumericEntry").size(), 1u) << "the timer is killed as it fires";
    EXPECT_EQ(HubLog::With("key FinishNumericEntry 0xffff0006").size(), 1u);

    // Without a key controller the timer is still killed, and nothing breaks.
    delete CMainCtrl::KeyController;
    CMainCtrl::KeyController = nullptr;
    SetTimer(Window(), IDT_NUMERIC_ENTRY, 50, nullptr);
    PumpFor(200);
    EXPECT_FALSE(KillTimer(Window(), IDT_NUMERIC_ENTRY));
}

TEST_F(MainWindowTest, ForeignTimersAreIgnoredAndKeepRunning)
{
    Start();
    constexpr UINT_PTR FOREIGN = 77;
    EXPECT_EQ(SendMessageA(Window(), WM_TIMER, FOREIGN, 0), 0);
    ASSERT_NE(SetTimer(Window(), FOREIGN, 30, nullptr), 0u);
    int seen = 0;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 1000 && seen < 3) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_TIMER && msg.hwnd == Window() && msg.wParam == FOREIGN) {
                ++seen;
            }
            DispatchMessageA(&msg);
        }
        Sleep(10);
    }
    EXPECT_GE(seen, 3);
    EXPECT_TRUE(KillTimer(Window(), FOREIGN)) << "still running after being handled";
    EXPECT_TRUE(IsWindow(Window()));
    EXPECT_TRUE(HubLog::Lines().empty());
}

TEST_F(MainWindowTest, TheExitTimerDestroysTheWindow)
{
    Start();
    HWND handle = Window();
    ASSERT_NE(SetTimer(handle, IDT_EXIT, 50, nullptr), 0u);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(handle); }, 5000));
    EXPECT_EQ(GetMainController(), nullptr);
    EXPECT_EQ(HubLog::With("deleted key").size(), 1u);
}

TEST_F(MainWindowTest, TrayMessagesReachTheRightTrayWithTheirArguments)
{
    Start();
    window->InstallTrays(true);
    HubLog::Clear();
    EXPECT_EQ(SendMessageA(Window(), WM_TRAY_NOTIFY, 1, WM_LBUTTONDOWN), 0);
    EXPECT_EQ(SendMessageA(Window(), WM_TRAY_NOTIFY, 2, NIN_BALLOONUSERCLICK), 0);
    EXPECT_EQ(SendMessageA(Window(), WM_TRAY_NOTIFY, 3, WM_LBUTTONDOWN), 0);
    EXPECT_EQ(SendMessageA(Window(), WM_TRAY_NOTIFY, 0, WM_LBUTTONDOWN), 0);
    std::vector<std::string> expected = {"tray 1 OnTrayNotify 0x402 1 0x201", "tray 2 OnTrayNotify 0x402 2 0x405"};
    EXPECT_EQ(HubLog::Lines(), expected);

    window->InstallTrays(false);
    HubLog::Clear();
    SendMessageA(Window(), WM_TRAY_NOTIFY, 2, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(HubLog::Lines().empty()) << "no keyboard tray: nothing";
}

TEST_F(MainWindowTest, OnScreenSettingsAreReloadedOnlyForReasonOne)
{
    Start();
    RegistrySandbox::SetDword(HKEY_CURRENT_USER, ONSCREEN_USER_KEY, "Time", 7);
    EXPECT_EQ(SendMessageA(Window(), WM_RELOAD_ONSCREEN, 0, 0), 0);
    EXPECT_EQ(SendMessageA(Window(), WM_RELOAD_ONSCREEN, 2, 0), 0);
    EXPECT_NE(CConfig::GetOnScreenSettings().Time, 7u);
    EXPECT_EQ(SendMessageA(Window(), WM_RELOAD_ONSCREEN, 1, 0), 0);
    EXPECT_EQ(CConfig::GetOnScreenSettings().Time, 7u);
}

// The controllers go before the worker threads, the devices before the
// trays, the trays before the key controller; the quit message comes last.
TEST_F(MainWindowTest, TheShutDownTearsDownInItsOrder)
{
    AddTestReceiverIdentity();
    ReceiverHost host;
    host.Run(PlugCommand(3, "0xFFBC", "0x88", "in=8 feature=4"));
    Start();
    window->InstallTrays(true);
    ASSERT_TRUE(host.WaitForEvents("opened 3", 1));
    ASSERT_TRUE(StartSendWindowWatcher());
    ASSERT_TRUE(StartPriorityWatcher());
    HANDLE watcher = nullptr;
    DuplicateHandle(GetCurrentProcess(), SendWindowWatcherThread, GetCurrentProcess(), &watcher, SYNCHRONIZE, FALSE,
                    0);
    ASSERT_NE(GetModuleHandleA("kovaapi.dll"), nullptr);
    ASSERT_EQ(CConfig::GetDeviceIdentities().Count, 1);
    HubLog::Clear();

    ASSERT_TRUE(DestroyWindow(Window()));

    std::vector<std::string> expected = {
        "tray 1 CloseHelp",           "tray 1 CloseUtility",       "tray 2 CloseHelp", "tray 2 CloseUtility",
        "deleted tray 2 key=1 osd=1", "deleted tray 1 key=1 osd=1",
        "deleted key devices=0 trays=0 osd=0 kovaapi=0 watchers=1",
    };
    EXPECT_EQ(HubLog::Lines(), expected);
    // Looked at before anything takes this thread's messages (the wait
    // below does).
    MSG quit{};
    EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_TRUE(host.WaitForEvents("closed 3", 1)) << "the receiver is closed";
    EXPECT_EQ(host.EventsWith("closed 3").size(), 1u);
    EXPECT_EQ(GetMainController(), nullptr);
    EXPECT_EQ(CMainCtrl::RestartMutex, nullptr);
    EXPECT_EQ(CConfig::GetDeviceIdentities().Count, 0) << "the identities' path words are released";
    EXPECT_EQ(SendWindowWatcherThread, nullptr);
    EXPECT_EQ(PriorityWatcherThread, nullptr);
    EXPECT_EQ(WaitForSingleObject(watcher, 0), WAIT_OBJECT_0) << "the watcher ended rather than being abandoned";
    CloseHandle(watcher);
}

}  // namespace
