// The main controller driven through the program's window procedure, with a
// virtual receiver hosted in the test and a key controller that records what
// reaches it: the report gate, the wake check, device, session and power
// notices, and blanking the remote's display.

#include "core/main_ctrl.h"

#include "base/messages.h"
#include "base/power.h"
#include "hid/hid_control.h"
#include "tests/core/hub_fixture.h"
#include "tests/hid/receiver_host.h"
#include "tests/support/journal_reader.h"
#include "tests/support/program_files_sandbox.h"
#include "tests/support/registry_sandbox.h"

#include <dbt.h>
#include <gtest/gtest.h>
#include <wtsapi32.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace {

// The classic receiver's vendor collection (col03: it holds the wake button)
// and the radio receiver's collection.
const std::string CLASSIC = PlugCommand(3, "0xFFBC", "0x88", "in=8 feature=4");
const std::string RADIO = PlugCommand(4, "0xFF01", "0x01", "in=8 out=8 feature=8");

constexpr DWORD WAKE_WAIT_MS = WAKE_CHECK_DELAY_MS + 5000;

class MainCtrlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetConfigStoreForTests();
        HubLog::Clear();
        AddTestReceiverIdentity();
        // One quick try per wake read.
        SetControl("RetryGetFeature", 1);
        SetControl("TimerGetFeatureSleep", 0);
    }
    void TearDown() override
    {
        window.reset();
        OverrideConnectedStandbyForTests(-1);
        ResetConfigStoreForTests();
    }

    // Creates the main window (and so the controller) and installs the
    // recording key controller.
    void Start()
    {
        window = std::make_unique<MainWindowHost>();
        window->InstallKeyController();
    }
    HWND Window() const { return window->Handle(); }
    CMainCtrl* Mc() const { return window->Controller(); }

    void Session(WPARAM code) { SendMessageA(Window(), WM_WTSSESSION_CHANGE, code, 0); }
    void Power(WPARAM event, LPARAM data = 0) { SendMessageA(Window(), WM_POWERBROADCAST, event, data); }

    bool WaitForLine(const std::string& line, DWORD timeoutMs = 10000)
    {
        return WaitUntil(
            [&] {
                auto lines = HubLog::Lines();
                return std::find(lines.begin(), lines.end(), line) != lines.end();
            },
            timeoutMs);
    }
    // Sends a report and waits until the window has taken it, whatever the
    // gate did with it.
    void SendReport(const std::string& command)
    {
        int before = window->ReportMessages();
        host.Run(command);
        ASSERT_TRUE(WaitUntil([&] { return window->ReportMessages() > before; })) << command;
    }
    size_t Count(const std::string& prefix) const { return host.EventsWith(prefix).size(); }
    bool WaitForEvents(const std::string& prefix, size_t count) { return host.WaitForEvents(prefix, count); }
    static std::vector<std::string> KeyLines() { return HubLog::With("key "); }

    RegistrySandbox sandbox;
    ScopedJournal journal;
    ReceiverHost host;
    std::unique_ptr<MainWindowHost> window;
};

// A GUID_CONSOLE_DISPLAY_STATE record (or of another setting) with one data byte.
struct PowerSettingRecord {
    GUID PowerSetting;
    DWORD DataLength;
    UCHAR Data[4];
};
PowerSettingRecord DisplayRecord(UCHAR state, const GUID& setting = GUID_CONSOLE_DISPLAY_STATE, DWORD length = 4)
{
    PowerSettingRecord record{};
    record.PowerSetting = setting;
    record.DataLength = length;
    record.Data[0] = state;
    return record;
}

// --- The report gate ---------------------------------------------------

TEST_F(MainCtrlTest, ClassicReportsReachTheKeyControllerOnlyWhileTheUserIsThere)
{
    host.Run(CLASSIC);
    Start();
    host.Run("send 3 02 0d 00 00 00 00 00 00");
    ASSERT_TRUE(WaitForLine("key OnRemoteButton 13 1 0"));

    Session(WTS_SESSION_LOCK);
    SendReport("send 3 02 0e 00 00 00 00 00 00");
    Session(WTS_SESSION_UNLOCK);
    host.Run("send 3 02 00 00 00 00 00 00 00");
    ASSERT_TRUE(WaitForLine("key OnRemoteButton 13 0 0"));
    // Had the press of 14 come through, 13 would have been released before it
    // and the release would be 14's.
    EXPECT_TRUE(HubLog::With("key OnRemoteButton 14").empty());
    EXPECT_EQ(HubLog::With("key OnReport").size(), 2u) << "the locked report reached no handler at all";
}

TEST_F(MainCtrlTest, MagicKeyDoesNotLetClassicReportsThroughForAnAbsentUser)
{
    SetControl("MagicKey_SendSighInUser", 1);
    host.Run(CLASSIC);
    Start();
    Session(WTS_CONSOLE_DISCONNECT);
    ASSERT_NE(CMainCtrl::DeviceManager, nullptr) << "the devices stay open with the magic key";
    SendReport("send 3 02 0d 00 00 00 00 00 00");
    Session(WTS_CONSOLE_CONNECT);
    host.Run("send 3 02 00 00 00 00 00 00 00");
    // The press was dropped, so the release is of nothing held.
    ASSERT_TRUE(WaitForLine("key OnRemoteButton 0 0 0"));
    EXPECT_TRUE(HubLog::With("key OnRemoteButton 13").empty());
}

TEST_F(MainCtrlTest, RadioReportsReachTheKeyControllerWhileLockedOnlyWithTheMagicKey)
{
    SetControl("RFSupportFlags", 1);
    SetControl("MagicKey_SendSighInUser", 1);
    host.Run(RADIO);
    Start();
    Session(WTS_SESSION_LOCK);
    host.Run("send 4 05 07 00 00 00 00 00 00");
    ASSERT_TRUE(WaitForLine("key OnValueKey 69 7 1"));
}

TEST_F(MainCtrlTest, RadioReportsAreDroppedWhileLockedWithoutTheMagicKey)
{
    SetControl("RFSupportFlags", 1);
    host.Run(RADIO);
    Start();
    Session(WTS_SESSION_LOCK);
    SendReport("send 4 05 07 00 00 00 00 00 00");
    Session(WTS_SESSION_UNLOCK);
    host.Run("send 4 05 09 00 00 00 00 00 00");
    ASSERT_TRUE(WaitForLine("key OnValueKey 69 9 1"));
    EXPECT_TRUE(HubLog::With("key OnValueKey 69 7").empty());
}

TEST_F(MainCtrlTest, DisplayOffOnAConnectedStandbySystemOpensTheGateForTheRadioRemote)
{
    OverrideConnectedStandbyForTests(1);
    SetControl("RFSupportFlags", 1);
    host.Run(RADIO);
    Start();
    Session(WTS_SESSION_LOCK);
    PowerSettingRecord off = DisplayRecord(0);
    Power(PBT_POWERSETTINGCHANGE, reinterpret_cast<LPARAM>(&off));
    ASSERT_EQ(CMainCtrl::DisplayOff, 1);
    host.Run("send 4 05 07 00 00 00 00 00 00");
    ASSERT_TRUE(WaitForLine("key OnValueKey 69 7 1"));
}

// The radio receiver waits for one answer while the display of a
// connected-standby system is off: the key controller writes it for the
// first report that carries a code, once per display-off period.
TEST_F(MainCtrlTest, TheWakeReplyGoesOutOncePerDisplayOffPeriodWhateverTheWriteSaid)
{
    OverrideConnectedStandbyForTests(1);
    SetControl("RFSupportFlags", 1);
    SetControl("ApResume", 0);  // no wake check: only the reply writes features
    host.Run(RADIO);
    Start();
    auto writes = [&] { return Count("setfeature 4 "); };
    PowerSettingRecord off = DisplayRecord(0);
    auto displayOff = [&] { Power(PBT_POWERSETTINGCHANGE, reinterpret_cast<LPARAM>(&off)); };

    // With the display on the gate holds no reply.
    SendReport("send 4 05 07 00 00 00 00 00 00");
    EXPECT_EQ(CMainCtrl::WakeReplySent, 0);

    // Before any feature was read the write has no collection to go to and
    // fails; the reply counts as sent all the same.
    displayOff();
    SendReport("send 4 05 07 00 00 00 00 00 00");
    EXPECT_EQ(CMainCtrl::WakeReplySent, 1);
    EXPECT_EQ(writes(), 0u);

    // A wake read points the writes at the radio collection (and writes its
    // own acknowledgement); the period is answered already.
    uint8_t kind = 0, flag = 0;
    uint16_t code = 0;
    ASSERT_EQ(CMainCtrl::DeviceManager->ReadWakeEvent(&kind, &code, &flag), WAKE_STATUS_OK);
    const size_t acknowledged = writes();
    SendReport("send 4 05 08 00 00 00 00 00 00");
    EXPECT_EQ(writes(), acknowledged);

    // A new period, with the user away: answered once, echoing the report.
    displayOff();
    Session(WTS_SESSION_LOCK);
    SendReport("send 4 05 09 00 00 00 00 00 00");
    SendReport("send 4 05 0a 00 00 00 00 00 00");
    ASSERT_EQ(writes(), acknowledged + 1);
    const std::string reply = host.EventsWith("setfeature 4 ").back();
    EXPECT_EQ(reply.substr(reply.size() - 23), "05 05 09 00 44 00 00 00");
    EXPECT_EQ(CMainCtrl::WakeReplySent, 1);
}

TEST_F(MainCtrlTest, WithoutAKeyControllerReportsAreDropped)
{
    host.Run(CLASSIC);
    Start();
    delete CMainCtrl::KeyController;
    CMainCtrl::KeyController = nullptr;
    SendReport("send 3 02 0d 00 00 00 00 00 00");
    EXPECT_TRUE(KeyLines().empty());
}

TEST_F(MainCtrlTest, DeviceMessagesNamingNoOpenDeviceAreIgnored)
{
    host.Run(CLASSIC);
    Start();
    ASSERT_TRUE(WaitForEvents("opened 3", 1));
    CHidDevice* real = CMainCtrl::DeviceManager->FirstDevice;
    ASSERT_NE(real, nullptr);

    // What any program could post: garbage, and a device that is gone.
    char notADevice[512] = {};
    for (LPARAM bogus : {LPARAM(0), LPARAM(0x1234), reinterpret_cast<LPARAM>(notADevice),
                         reinterpret_cast<LPARAM>(real) + 8}) {
        EXPECT_EQ(SendMessageA(Window(), WM_HID_REPORT, 0, bogus), 0);
        EXPECT_EQ(SendMessageA(Window(), WM_HID_READ_NEXT, 0, bogus), 0);
    }
    EXPECT_TRUE(KeyLines().empty());

    // The real device still reads and reports.
    host.Run("send 3 02 0d 00 00 00 00 00 00");
    EXPECT_TRUE(WaitForLine("key OnRemoteButton 13 1 0"));
}

// --- The wake check ------------------------------------------------------

TEST_F(MainCtrlTest, TheWakeButtonIsReadAndCarriedOutThreeSecondsAfterStart)
{
    host.Run(CLASSIC);
    host.Run("feature 3 03 0d");
    Start();
    EXPECT_NE(CMainCtrl::WakeCheckTimer, 0u);
    ASSERT_TRUE(WaitForLine("key LaunchWakeButton 13 0", WAKE_WAIT_MS));
    EXPECT_EQ(CMainCtrl::WakeCheckTimer, 0u) << "one-shot";
    EXPECT_EQ(CMainCtrl::WakeRetryCount, 0u);
    EXPECT_EQ(Count("getfeature 3"), 1u);
}

TEST_F(MainCtrlTest, TheRadioReceiversWakeEventGoesToOnWakeEvent)
{
    SetControl("RFSupportFlags", 1);
    host.Run(RADIO);
    host.Run("feature 4 04 02 0d 01 05 00 00 00");
    Start();
    // No connected standby: the flag byte is not read.
    ASSERT_TRUE(WaitForLine("key OnWakeEvent 2 269 0", WAKE_WAIT_MS));
    EXPECT_TRUE(HubLog::With("key LaunchWakeButton").empty());
}

TEST_F(MainCtrlTest, NoWakeButtonMeansNoAction)
{
    host.Run(CLASSIC);
    Start();
    ASSERT_TRUE(WaitForEvents("getfeature 3", 1));
    // A press is handled after the wake check that read the feature: when
    // the press is there, a wake action would be too.
    host.Run("send 3 02 0d 00 00 00 00 00 00");
    ASSERT_TRUE(WaitForLine("key OnRemoteButton 13 1 0"));
    EXPECT_EQ(KeyLines().front(), "key OnRemoteButton 13 1 0") << "a key call before the press";
    EXPECT_EQ(CMainCtrl::WakeRetryTimer, 0u) << "a read that answered is not retried";
}

TEST_F(MainCtrlTest, WithApResumeZeroTheTimerFiresButNothingIsRead)
{
    SetControl("ApResume", 0);
    host.Run(CLASSIC);
    host.Run("feature 3 03 0d");
    Start();
    ASSERT_NE(CMainCtrl::WakeCheckTimer, 0u);
    // The timer procedure clears the id first and reads in the same call:
    // once the id is 0 and the procedure has returned, a read would be seen.
    ASSERT_TRUE(WaitUntil([] { return CMainCtrl::WakeCheckTimer == 0; }, WAKE_WAIT_MS));
    EXPECT_EQ(Count("getfeature"), 0u);
    EXPECT_TRUE(KeyLines().empty());
}

TEST_F(MainCtrlTest, ALockedSessionSkipsTheWakeCheck)
{
    host.Run(CLASSIC);
    host.Run("feature 3 03 0d");
    Start();
    Session(WTS_SESSION_LOCK);
    ASSERT_TRUE(WaitUntil([] { return CMainCtrl::WakeCheckTimer == 0; }, WAKE_WAIT_MS));
    EXPECT_EQ(Count("getfeature"), 0u) << "read in the call that cleared the id, if at all";
}

TEST_F(MainCtrlTest, AWakeReadThatKeepsFailingGetsExactlyRetryDirectBootReopenCycles)
{
    SetControl("RetryDirectBoot", 2);
    SetControl("TimerDirectBoot", 100);
    host.Run(CLASSIC);
    host.Run("failfeature 3 all");
    Start();
    ASSERT_TRUE(WaitForEvents("getfeature 3", 3));
    ASSERT_TRUE(WaitUntil([] { return CMainCtrl::WakeRetryTimer == 0 && CMainCtrl::WakeRetryCount == 0; }));
    // A fourth cycle would need a timer still set on the window.
    EXPECT_FALSE(KillTimer(Window(), IDT_WAKE_RETRY)) << "a retry is still due";
    EXPECT_FALSE(KillTimer(Window(), IDT_WAKE_CHECK)) << "a check is still due";
    EXPECT_EQ(Count("getfeature 3"), 3u) << "the first read and two retries";
    EXPECT_EQ(Count("opened 3"), 3u) << "opened at start, then reopened before each retry";
    EXPECT_EQ(CMainCtrl::WakeRetryCount, 0u);
    EXPECT_TRUE(KeyLines().empty());
}

TEST_F(MainCtrlTest, AWakeReadThatSucceedsOnARetryIsCarriedOutAndResetsTheCount)
{
    SetControl("RetryDirectBoot", 3);
    SetControl("TimerDirectBoot", 100);
    host.Run(CLASSIC);
    host.Run("feature 3 03 21");
    host.Run("failfeature 3 2");
    Start();
    ASSERT_TRUE(WaitForLine("key LaunchWakeButton 33 0", WAKE_WAIT_MS));
    EXPECT_EQ(Count("getfeature 3"), 3u);
    EXPECT_EQ(CMainCtrl::WakeRetryCount, 0u);
}

TEST_F(MainCtrlTest, UnlockingStartsTheWakeCheckWithoutReopeningTheDevices)
{
    host.Run(CLASSIC);
    Start();
    ASSERT_TRUE(WaitForEvents("getfeature 3", 1));
    Session(WTS_SESSION_LOCK);
    host.Run("feature 3 03 0d");
    Session(WTS_SESSION_UNLOCK);
    EXPECT_NE(CMainCtrl::WakeCheckTimer, 0u);
    ASSERT_TRUE(WaitForLine("key LaunchWakeButton 13 0", WAKE_WAIT_MS));
    EXPECT_EQ(Count("opened 3"), 1u);
}

TEST_F(MainCtrlTest, TheWakeTimerProcedureIgnoresForeignTimerIds)
{
    host.Run(CLASSIC);
    host.Run("feature 3 03 0d");
    Start();
    UINT_PTR running = CMainCtrl::WakeCheckTimer;
    ASSERT_NE(running, 0u);
    CMainCtrl::WakeCheckTimerProc(Window(), WM_TIMER, 77, 0);
    EXPECT_EQ(CMainCtrl::WakeCheckTimer, running) << "the running check is left alone";
    EXPECT_EQ(Count("getfeature"), 0u);
}

TEST_F(MainCtrlTest, ASecondCreationReplacesTheKeyController)
{
    Start();
    Mc()->OnCreate(Window(), GetModuleHandleA(nullptr));
    EXPECT_EQ(HubLog::With("deleted key").size(), 1u) << "the old one is deleted first";
}

// --- Device notices --------------------------------------------------------

TEST_F(MainCtrlTest, ArrivalsAndRemovalsKeepTheDeviceListAndTheIconsInStep)
{
    Start();
    window->InstallTrays(true);
    ASSERT_NE(CMainCtrl::DeviceManager, nullptr);
    EXPECT_EQ(CMainCtrl::DeviceManager->GetDeviceCount(), 0);
    EXPECT_FALSE(CMainCtrl::RemoteTray->IsShown());

    host.Run(CLASSIC);
    ASSERT_TRUE(WaitUntil([] { return CMainCtrl::DeviceManager->GetDeviceCount() == 1; }));
    EXPECT_TRUE(CMainCtrl::RemoteTray->IsShown());
    EXPECT_TRUE(CMainCtrl::KeyboardTray->IsShown());

    host.Run("unplug 3");
    ASSERT_TRUE(WaitUntil([] { return CMainCtrl::DeviceManager->GetDeviceCount() == 0; }));
    EXPECT_FALSE(CMainCtrl::RemoteTray->IsShown());
    EXPECT_FALSE(CMainCtrl::KeyboardTray->IsShown());

    // A safe removal: the handle is let go at the query, then removed.
    host.Run(CLASSIC);
    ASSERT_TRUE(WaitUntil([] { return CMainCtrl::DeviceManager->GetDeviceCount() == 1; }));
    host.Run("eject 3");
    ASSERT_TRUE(WaitUntil([] { return CMainCtrl::DeviceManager->GetDeviceCount() == 0; }));
    // The receiver reports the close on its own thread.
    EXPECT_TRUE(WaitForEvents("closed 3", 1));
    EXPECT_EQ(Count("closed 3"), 1u);
    EXPECT_FALSE(CMainCtrl::RemoteTray->IsShown());
}

TEST_F(MainCtrlTest, AFailedQueryRemoveOpensEverythingAfresh)
{
    host.Run(CLASSIC);
    Start();
    ASSERT_TRUE(WaitForEvents("opened 3", 1));
    EXPECT_EQ(SendMessageA(Window(), WM_DEVICECHANGE, DBT_DEVICEQUERYREMOVEFAILED, 0), TRUE);
    ASSERT_TRUE(WaitForEvents("opened 3", 2));
    EXPECT_TRUE(WaitForEvents("closed 3", 1));
    EXPECT_EQ(Count("closed 3"), 1u);
    EXPECT_NE(CMainCtrl::DeviceManager, nullptr);
    EXPECT_EQ(CMainCtrl::DeviceActive, 1);
}

// The same notice while the manager removes a device: handled inside that
// removal, it must not delete the manager under it, so the reopen comes after.
TEST_F(MainCtrlTest, AFailedQueryRemoveDuringARemovalReopensOnceTheRemovalIsDone)
{
    host.Run(CLASSIC);
    host.Run(RADIO);
    Start();
    ASSERT_TRUE(WaitForEvents("opened 4", 1));
    ASSERT_TRUE(AwaitSentMessage([&] { host.Run("aside unplug 3"); }));
    std::thread other;
    ASSERT_TRUE(AwaitSentMessage([&] {
        other = std::thread([&] { SendMessageA(Window(), WM_DEVICECHANGE, DBT_DEVICEQUERYREMOVEFAILED, 0); });
    }));
    // The removal of collection 3 comes first; the failed query inside it.
    ASSERT_TRUE(host.WaitForEvents("aside handled", 1));
    ASSERT_TRUE(WaitForEvents("opened 4", 2)) << "reopened";
    other.join();
    EXPECT_NE(CMainCtrl::DeviceManager, nullptr);
    EXPECT_EQ(CMainCtrl::DeviceActive, 1);
    EXPECT_EQ(CMainCtrl::DeviceManager->GetDeviceCount(), 1) << "the radio collection alone";
}

TEST_F(MainCtrlTest, DeviceNoticesWithoutAUsableHeaderChangeNothing)
{
    host.Run(CLASSIC);
    Start();
    ASSERT_TRUE(WaitForEvents("opened 3", 1));
    CHidDevice* device = CMainCtrl::DeviceManager->FirstDevice;
    ASSERT_NE(device, nullptr);
    const std::string path = device->Info.DevicePath;
    HANDLE handle = device->Info.Handle;

    // Null headers for every event that reads one.
    for (WPARAM event : {DBT_DEVICEARRIVAL, DBT_DEVICEQUERYREMOVE, DBT_DEVICEREMOVEPENDING, DBT_DEVICEREMOVECOMPLETE}) {
        EXPECT_EQ(SendMessageA(Window(), WM_DEVICECHANGE, event, 0), TRUE);
    }

    // A handle notice of the right kind but too short to hold a handle.
    DEV_BROADCAST_HANDLE handleNotice{};
    handleNotice.dbch_size = 12;
    handleNotice.dbch_devicetype = DBT_DEVTYP_HANDLE;
    handleNotice.dbch_handle = handle;
    SendMessageA(Window(), WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, reinterpret_cast<LPARAM>(&handleNotice));
    // The device's own handle, but as an interface notice.
    handleNotice.dbch_size = sizeof(handleNotice);
    handleNotice.dbch_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    SendMessageA(Window(), WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, reinterpret_cast<LPARAM>(&handleNotice));
    // An arrival of the device's path, but as a handle notice.
    std::vector<uint8_t> arrival(offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name) + path.size() + 1);
    auto* interfaceNotice = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(arrival.data());
    std::memcpy(interfaceNotice->dbcc_name, path.c_str(), path.size() + 1);
    interfaceNotice->dbcc_size = static_cast<DWORD>(arrival.size());
    interfaceNotice->dbcc_devicetype = DBT_DEVTYP_HANDLE;
    SendMessageA(Window(), WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(interfaceNotice));
    // The arrival as an interface notice whose size ends before the name does.
    interfaceNotice->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    interfaceNotice->dbcc_size = static_cast<DWORD>(arrival.size() - 1);
    SendMessageA(Window(), WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(interfaceNotice));
    // An unknown event.
    SendMessageA(Window(), WM_DEVICECHANGE, DBT_CONFIGCHANGED, reinterpret_cast<LPARAM>(interfaceNotice));

    PumpFor(100);
    EXPECT_EQ(Count("opened 3"), 1u);
    EXPECT_EQ(Count("closed 3"), 0u);
    ASSERT_EQ(CMainCtrl::DeviceManager->GetDeviceCount(), 1);
    EXPECT_EQ(CMainCtrl::DeviceManager->FirstDevice, device);

    // Whole, the same notices act: the arrival replaces the listed device...
    interfaceNotice->dbcc_size = static_cast<DWORD>(arrival.size());
    SendMessageA(Window(), WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(interfaceNotice));
    ASSERT_TRUE(WaitForEvents("opened 3", 2));
    EXPECT_EQ(CMainCtrl::DeviceManager->GetDeviceCount(), 1);
    // ...and the removal of its handle removes it.
    handleNotice.dbch_devicetype = DBT_DEVTYP_HANDLE;
    handleNotice.dbch_handle = CMainCtrl::DeviceManager->FirstDevice->Info.Handle;
    SendMessageA(Window(), WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, reinterpret_cast<LPARAM>(&handleNotice));
    EXPECT_EQ(CMainCtrl::DeviceManager->GetDeviceCount(), 0);
}

// --- Session notices ------------------------------------------------------

TEST_F(MainCtrlTest, LeavingTheConsoleClosesTheDevicesAndComingBackReopensThem)
{
    host.Run(CLASSIC);
    Start();
    window->InstallTrays(false);
    ASSERT_TRUE(WaitForEvents("opened 3", 1));
    EXPECT_TRUE(CMainCtrl::RemoteTray->IsShown());

    Session(WTS_CONSOLE_DISCONNECT);
    EXPECT_EQ(CMainCtrl::ConsoleConnected, 0);
    EXPECT_EQ(CMainCtrl::DeviceManager, nullptr);
    EXPECT_EQ(CMainCtrl::DeviceActive, 0);
    EXPECT_FALSE(CMainCtrl::RemoteTray->IsShown());
    ASSERT_TRUE(WaitForEvents("closed 3", 1));

    // A reopen while away opens nothing.
    SendMessageA(Window(), WM_HID_REOPEN, 0, 0);
    EXPECT_EQ(CMainCtrl::DeviceManager, nullptr);

    host.Run("feature 3 03 0d");
    Session(WTS_CONSOLE_CONNECT);
    EXPECT_EQ(CMainCtrl::ConsoleConnected, 1);
    EXPECT_EQ(CMainCtrl::DeviceActive, 1);
    EXPECT_TRUE(CMainCtrl::RemoteTray->IsShown());
    EXPECT_NE(CMainCtrl::WakeCheckTimer, 0u);
    ASSERT_TRUE(WaitForEvents("opened 3", 2));
    EXPECT_TRUE(WaitForLine("key LaunchWakeButton 13 0", WAKE_WAIT_MS));
}

TEST_F(MainCtrlTest, WithTheMagicKeyLeavingTheConsoleKeepsTheDevicesOpen)
{
    SetControl("MagicKey_SendSighInUser", 1);
    host.Run(CLASSIC);
    Start();
    ASSERT_TRUE(WaitForEvents("opened 3", 1));
    Session(WTS_CONSOLE_DISCONNECT);
    EXPECT_EQ(CMainCtrl::ConsoleConnected, 0);
    EXPECT_EQ(CMainCtrl::DeviceActive, 1);
    PumpFor(100);
    EXPECT_EQ(Count("closed 3"), 0u);
}

// --- Power notices ----------------------------------------------------------

TEST_F(MainCtrlTest, SuspendStopsTheWakeCheckAndBlanksTheRemote)
{
    host.Run(DisplayPlugCommand());
    host.Run(CLASSIC);
    host.Run("feature 3 03 0d");
    Start();
    ASSERT_NE(CMainCtrl::WakeCheckTimer, 0u);
    EXPECT_EQ(SendMessageA(Window(), WM_POWERBROADCAST, PBT_APMSUSPEND, 0), TRUE);
    EXPECT_EQ(CMainCtrl::WakeCheckTimer, 0u);
    EXPECT_EQ(BlankingReports(host), 1u);
    EXPECT_FALSE(KillTimer(Window(), IDT_WAKE_CHECK)) << "the killed check can never run";
    EXPECT_EQ(Count("getfeature"), 0u);
}

TEST_F(MainCtrlTest, ResumeReopensTheDevicesThenChecksTheWakeButton)
{
    host.Run(CLASSIC);
    Start();
    ASSERT_TRUE(WaitForEvents("getfeature 3", 1));
    host.Run("feature 3 03 0d");
    Power(PBT_APMRESUMESUSPEND);
    // Reopened from the message loop, not inside the notice.
    EXPECT_EQ(Count("opened 3"), 1u);
    ASSERT_TRUE(WaitForEvents("opened 3", 2));
    EXPECT_NE(CMainCtrl::WakeCheckTimer, 0u);
    EXPECT_TRUE(WaitForLine("key LaunchWakeButton 13 0", WAKE_WAIT_MS));

    Power(PBT_APMRESUMECRITICAL);
    ASSERT_TRUE(WaitForEvents("opened 3", 3));
}

TEST_F(MainCtrlTest, AFailedSuspendReopensTheDevicesWithoutAWakeCheck)
{
    host.Run(DisplayPlugCommand());
    host.Run(CLASSIC);
    Start();
    Power(PBT_APMSUSPEND);
    Power(PBT_APMQUERYSUSPENDFAILED);
    ASSERT_TRUE(WaitForEvents("opened 3", 2));
    PumpFor(50);
    EXPECT_EQ(CMainCtrl::WakeCheckTimer, 0u);
    // Other events do nothing.
    Power(PBT_APMPOWERSTATUSCHANGE);
    Power(0x7777);
    PumpFor(50);
    EXPECT_EQ(Count("opened 3"), 2u);
}

TEST_F(MainCtrlTest, DisplayOffAndOnOfAConnectedStandbySystem)
{
    OverrideConnectedStandbyForTests(1);
    host.Run(DisplayPlugCommand());
    host.Run(CLASSIC);
    Start();
    ASSERT_NE(CMainCtrl::WakeCheckTimer, 0u);
    CMainCtrl::WakeReplySent = 1;

    PowerSettingRecord off = DisplayRecord(0);
    Power(PBT_POWERSETTINGCHANGE, reinterpret_cast<LPARAM>(&off));
    EXPECT_EQ(CMainCtrl::DisplayOff, 1);
    EXPECT_EQ(CMainCtrl::WakeReplySent, 0);
    EXPECT_EQ(CMainCtrl::DisplayOffSeen, 1);
    EXPECT_EQ(CMainCtrl::WakeCheckTimer, 0u);
    EXPECT_EQ(BlankingReports(host), 1u);

    PowerSettingRecord dimmed = DisplayRecord(2);
    Power(PBT_POWERSETTINGCHANGE, reinterpret_cast<LPARAM>(&dimmed));
    EXPECT_EQ(CMainCtrl::DisplayOff, 1);

    PowerSettingRecord on = DisplayRecord(1);
    Power(PBT_POWERSETTINGCHANGE, reinterpret_cast<LPARAM>(&on));
    EXPECT_EQ(CMainCtrl::DisplayOff, 0);
    ASSERT_TRUE(WaitForEvents("opened 3", 2));
    EXPECT_NE(CMainCtrl::WakeCheckTimer, 0u);
    EXPECT_EQ(CMainCtrl::DisplayOffSeen, 1) << "remembered since start";
}

TEST_F(MainCtrlTest, PowerSettingRecordsThatAreNotAUsableDisplayStateChangeNothing)
{
    OverrideConnectedStandbyForTests(1);
    host.Run(DisplayPlugCommand());
    host.Run(CLASSIC);
    Start();
    PowerSettingRecord otherSetting = DisplayRecord(0, GUID_ACDC_POWER_SOURCE);
    PowerSettingRecord empty = DisplayRecord(0, GUID_CONSOLE_DISPLAY_STATE, 0);
    for (LPARAM data : {reinterpret_cast<LPARAM>(&otherSetting), reinterpret_cast<LPARAM>(&empty), LPARAM(0)}) {
        EXPECT_EQ(SendMessageA(Window(), WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, data), TRUE);
    }
    EXPECT_EQ(CMainCtrl::DisplayOff, 0);
    EXPECT_EQ(CMainCtrl::DisplayOffSeen, 0);
    EXPECT_NE(CMainCtrl::WakeCheckTimer, 0u);
    EXPECT_EQ(DisplayReports(host), 0u);
    // A suspend then does blank it: the notices above were looked at.
    Power(PBT_APMSUSPEND);
    EXPECT_EQ(BlankingReports(host), 1u);
}

TEST_F(MainCtrlTest, DisplayNoticesOfASystemWithoutConnectedStandbyChangeNothing)
{
    OverrideConnectedStandbyForTests(0);
    host.Run(DisplayPlugCommand());
    Start();
    PowerSettingRecord off = DisplayRecord(0);
    Power(PBT_POWERSETTINGCHANGE, reinterpret_cast<LPARAM>(&off));
    EXPECT_EQ(CMainCtrl::DisplayOff, 0);
    EXPECT_EQ(CMainCtrl::DisplayOffSeen, 0);
    EXPECT_NE(CMainCtrl::WakeCheckTimer, 0u);
    EXPECT_EQ(DisplayReports(host), 0u);
    // Suspend still blanks the remote.
    Power(PBT_APMSUSPEND);
    EXPECT_EQ(BlankingReports(host), 1u);
}

// --- The remote's display ---------------------------------------------------

TEST_F(MainCtrlTest, ClearRemoteLcdBlanksTheDisplayThroughTheLibrary)
{
    host.Run(DisplayPlugCommand());
    Start();
    EXPECT_TRUE(Mc()->ClearRemoteLcd());
    EXPECT_EQ(BlankingReports(host), 1u);

    // The library's own window hears of the removal while the receiver waits.
    host.Run("unplug 2");
    EXPECT_FALSE(Mc()->ClearRemoteLcd()) << "a failure of the library is reported";
    EXPECT_EQ(DisplayReports(host), 1u);
}

TEST_F(MainCtrlTest, WithoutTheLibraryClearRemoteLcdFailsQuietly)
{
    ProgramFilesSandbox emptyProgramFiles;
    host.Run(DisplayPlugCommand());
    Start();
    EXPECT_FALSE(Mc()->ClearRemoteLcd());
    EXPECT_EQ(GetModuleHandleA("kovaapi.dll"), nullptr);
    // The notices that blank the display go on without it.
    Power(PBT_APMSUSPEND);
    SendMessageA(Window(), WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(DisplayReports(host), 0u);
}

}  // namespace
