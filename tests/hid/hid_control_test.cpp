#include "hid/hid_control.h"

#include "base/messages.h"
#include "hid/hid_backend.h"
#include "tests/hid/receiver_host.h"
#include "tests/support/registry_sandbox.h"

#include <dbt.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

class HidControlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetConfigStoreForTests();
        AddIdentity(1, TEST_VENDOR, TEST_PRODUCT);
    }
    void TearDown() override
    {
        window.Attach(nullptr);
        control.reset();
        ResetConfigStoreForTests();
    }

    static void AddIdentity(int n, uint32_t vendor, uint32_t product, const char* word = nullptr)
    {
        std::string suffix = std::to_string(n);
        RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, DEVICE_IDENTITY_KEY, ("ProductID" + suffix).c_str(), product);
        RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, DEVICE_IDENTITY_KEY, ("VendorID" + suffix).c_str(), vendor);
        if (word) {
            RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, DEVICE_IDENTITY_KEY, ("ChkPathWord" + suffix).c_str(),
                                       word);
        }
    }

    void CreateControl()
    {
        control = std::make_unique<CHidControl>(window.Handle());
        window.Attach(control.get());
    }

    size_t ReportsOf(CHidDevice* device) const
    {
        size_t n = 0;
        for (const SeenReport& r : window.Reports) {
            n += r.Device == device ? 1 : 0;
        }
        return n;
    }

    // Waits until a read is pending on every listed device.
    void WaitUntilReading()
    {
        ASSERT_TRUE(WaitUntil([&] {
            int ready = 0;
            for (CHidDevice* d = control->FirstDevice; d; d = d->Next) {
                ready += d->Running && window.ReadRequests > 0 ? 1 : 0;
            }
            return ready == control->DeviceCount;
        }));
        PumpFor(50);
    }

    RegistrySandbox sandbox;
    ReceiverHost host;
    HidTestWindow window;
    std::unique_ptr<CHidControl> control;
};

TEST_F(HidControlTest, EnumerationOpensOnlyTheReceiverCollections)
{
    // A classic receiver: keyboard-like col01 (generic desktop page), then the
    // consumer and vendor collections; plus a foreign device with a receiver usage.
    host.Run(PlugCommand(1, "0x0001", "0x06"));
    host.Run(PlugCommand(2, "0x000C", "0x01"));
    host.Run(PlugCommand(3, "0xFFBC", "0x88"));
    host.Run(PlugCommand(4, "0xFF02", "0x90"));
    host.Run(PlugCommand(5, "0xFF01", "0x02"));  // right page, wrong usage
    host.Run("plug 6 vid=0x1234 pid=0x0150 page=0x000C usage=0x01");
    CreateControl();

    EXPECT_EQ(control->GetDeviceCount(), 3);
    EXPECT_NE(control->InterfaceNotification, nullptr);
    for (int n : {2, 3, 4}) {
        std::string path = VirtualReceiver::DefaultPath(TEST_VENDOR, TEST_PRODUCT, n);
        CHidDevice* device = control->FindDeviceByPath(path.c_str());
        ASSERT_NE(device, nullptr) << n;
        EXPECT_EQ(control->FindDeviceByHandle(device->Info.Handle), device);
        EXPECT_EQ(device->Running, 1);
        EXPECT_EQ(device->Info.Attributes.VendorID, TEST_VENDOR);
        EXPECT_EQ(device->Info.Input.Length, 8u);
        EXPECT_NE(device->RemovalNotification, nullptr);
    }
    // Paths compare exactly.
    std::string upper = VirtualReceiver::DefaultPath(TEST_VENDOR, TEST_PRODUCT, 2);
    upper[4] = 'H';
    EXPECT_EQ(control->FindDeviceByPath(upper.c_str()), nullptr);
    EXPECT_EQ(control->FindDeviceByHandle(INVALID_HANDLE_VALUE), nullptr);
    // The rejected collections were opened for the test and closed again.
    EXPECT_TRUE(host.WaitForEvents("closed ", 3));
}

TEST_F(HidControlTest, CollectionsWhoseCapabilitiesCannotBeReadAreOpenedAndClosedAgain)
{
    // Reading the capabilities fails, reading the button capabilities
    // fails, and a button range leaves no room for its usages.
    const char* flaws[] = {"caps", "buttoncaps", "usagelist"};
    host.Run(PlugCommand(1, "0x000C", "0x01"));
    for (int i = 0; i < 3; ++i) {
        host.Run(PlugCommand(i + 2, "0x000C", "0x01", std::string("bad=") + flaws[i]));
    }
    CreateControl();
    ASSERT_EQ(control->GetDeviceCount(), 1);
    EXPECT_NE(std::string(control->FirstDevice->Info.DevicePath).find("col01"), std::string::npos);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(flaws[i]);
        std::string n = std::to_string(i + 2);
        // The receiver notes its events on its own threads: the close, which
        // comes after the open, is waited for before the opens are counted.
        EXPECT_TRUE(host.WaitForEvents("closed " + n + " ", 1));
        EXPECT_EQ(host.EventsWith("opened " + n + " ").size(), 1u);
    }
}

TEST_F(HidControlTest, AFailedEnumerationKeepsTheDevicesFoundSoFar)
{
    host.Run(PlugCommand(2, "0x000C", "0x01"));
    host.Run(PlugCommand(3, "0xFFBC", "0x88"));
    host.Run("failenum 1");
    CreateControl();
    ASSERT_EQ(control->GetDeviceCount(), 1) << "the first one stays";
    EXPECT_NE(std::string(control->FirstDevice->Info.DevicePath).find("col02"), std::string::npos);
    EXPECT_EQ(control->InterfaceNotification, nullptr) << "no arrivals are asked for any more";
    EXPECT_EQ(control->FirstDevice->Running, 1);

    // Without the registration for arrivals nothing is enumerated at all.
    host.Run("failenum off");
    HWND gone = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    DestroyWindow(gone);
    CHidControl orphan(gone);
    EXPECT_FALSE(orphan.EnumerateDevices());
    EXPECT_EQ(orphan.GetDeviceCount(), 0);
    EXPECT_EQ(orphan.FirstDevice, nullptr);
    EXPECT_EQ(orphan.InterfaceNotification, nullptr);
}

TEST_F(HidControlTest, PathWordLimitsTheIdentityToMatchingCollections)
{
    RegistrySandbox::DeleteValue(HKEY_LOCAL_MACHINE, DEVICE_IDENTITY_KEY, "ProductID1");
    AddIdentity(1, TEST_VENDOR, TEST_PRODUCT, "&COL03");
    host.Run(PlugCommand(2, "0x000C", "0x01"));
    host.Run(PlugCommand(3, "0xFFBC", "0x88"));
    CreateControl();
    ASSERT_EQ(control->GetDeviceCount(), 1);
    EXPECT_NE(std::string(control->FirstDevice->Info.DevicePath).find("col03"), std::string::npos);
}

TEST_F(HidControlTest, ReportsArriveWholeAndInOrderBeforeTheNextRead)
{
    host.Run(PlugCommand(1, "0xFF01", "0x01", "in=4"));
    CreateControl();
    WaitUntilReading();
    // Queued in the pipe faster than they are read, so most reads complete at
    // once: each report must still be handed on before its buffer is reused.
    const int count = 60;
    for (int i = 0; i < count; ++i) {
        char command[64];
        std::snprintf(command, sizeof(command), "send 1 02 %02x %02x 00", i, 0xFF - i);
        host.Run(command);
    }
    // A last report of its own ID comes after all of them: when it is there,
    // any report handed on twice would be too.
    host.Run("send 1 03 00 00 00");
    ASSERT_TRUE(WaitUntil([&] { return !window.Reports.empty() && window.Reports.back().Bytes[0] == 3; }));
    ASSERT_EQ(window.Reports.size(), static_cast<size_t>(count + 1));
    for (int i = 0; i < count; ++i) {
        std::vector<uint8_t> expected = {2, static_cast<uint8_t>(i), static_cast<uint8_t>(0xFF - i), 0};
        EXPECT_EQ(window.Reports[i].Bytes, expected) << i;
    }
    EXPECT_EQ(window.UnknownDevices, 0);
}

TEST_F(HidControlTest, ReadPendingPastFiveSecondsKeepsWaitingQuietly)
{
    host.Run(PlugCommand(1, "0x000C", "0x01"));
    CreateControl();
    WaitUntilReading();
    int requests = window.ReadRequests;
    // Longer than one wait slice of the reader thread.
    PumpFor(5600);
    EXPECT_TRUE(window.Reports.empty()) << "no report without input";
    EXPECT_EQ(window.ReadRequests, requests) << "the pending read is not issued again";
    host.Run("send 1 01 02 03 04 05 06 07 08");
    ASSERT_TRUE(WaitUntil([&] { return window.Reports.size() == 1; }));
    EXPECT_EQ(window.Reports[0].Bytes, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(HidControlTest, UnplugMidReadStopsTheDeviceAndTheNoticeRemovesIt)
{
    host.Run(PlugCommand(1, "0x000C", "0x01"));
    host.Run(PlugCommand(2, "0xFF01", "0x01"));
    CreateControl();
    ASSERT_EQ(control->GetDeviceCount(), 2);
    WaitUntilReading();
    int requests = window.ReadRequests;

    host.Run("unplug 1");  // the notices are handled while this runs
    EXPECT_EQ(control->GetDeviceCount(), 1);
    std::string gone = VirtualReceiver::DefaultPath(TEST_VENDOR, TEST_PRODUCT, 1);
    EXPECT_EQ(control->FindDeviceByPath(gone.c_str()), nullptr);
    // The other collection goes on reading. Its report is posted after
    // anything the gone device's reader could have posted, so when it has
    // been handled (and before its next read is), those would have been too.
    host.Run("send 2 04 01");
    ASSERT_TRUE(WaitUntil([&] { return !window.Reports.empty(); }));
    ASSERT_EQ(window.Reports.size(), 1u) << "a failed read is no report";
    EXPECT_EQ(window.Reports[0].Device, control->FirstDevice);
    EXPECT_EQ(window.ReadRequests, requests) << "no read is requested after the device went away";
    EXPECT_EQ(window.UnknownDevices, 0);
    EXPECT_EQ(window.DeviceChanges, (std::vector<std::string>{"removecomplete", "interfaceremoved"}));
}

TEST_F(HidControlTest, QueryRemoveClosesButKeepsTheDeviceListed)
{
    host.Run(PlugCommand(1, "0x000C", "0x01"));
    CreateControl();
    WaitUntilReading();
    CHidDevice* device = control->FirstDevice;
    HANDLE oldHandle = device->Info.Handle;

    host.Run("eject 1");
    EXPECT_EQ(window.DeviceChanges,
              (std::vector<std::string>{"queryremove", "removepending", "removecomplete", "interfaceremoved"}));
    EXPECT_EQ(control->GetDeviceCount(), 1) << "a closed device stays counted";
    EXPECT_EQ(control->FirstDevice, device);
    EXPECT_EQ(device->Info.Handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(device->Running, 0);
    EXPECT_EQ(control->FindDeviceByHandle(oldHandle), nullptr);
    // The receiver sees the close when its side of the pipe breaks, a moment later.
    EXPECT_TRUE(host.WaitForEvents("closed 1 ", 1)) << "closed on the query";
    EXPECT_EQ(host.EventsWith("closed 1 ").size(), 1u);
    PumpFor(100);
    EXPECT_EQ(window.UnknownDevices, 0);
}

TEST_F(HidControlTest, ArrivalAddsAndTheSamePathReplacesTheListedDevice)
{
    CreateControl();
    EXPECT_EQ(control->GetDeviceCount(), 0);
    host.Run(PlugCommand(3, "0xFFBC", "0x88"));
    ASSERT_EQ(control->GetDeviceCount(), 1);
    ASSERT_EQ(window.DeviceChanges.size(), 1u);
    WaitUntilReading();

    // An arrival whose name differs only in case names the same collection.
    std::string name = VirtualReceiver::DefaultPath(TEST_VENDOR, TEST_PRODUCT, 3);
    for (char& c : name) {
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    }
    EXPECT_TRUE(control->AddDevice(name.data()));
    EXPECT_EQ(name, VirtualReceiver::DefaultPath(TEST_VENDOR, TEST_PRODUCT, 3)) << "lower-cased in place";
    EXPECT_EQ(control->GetDeviceCount(), 1);
    EXPECT_EQ(control->FirstDevice->Next, nullptr);
    // The old handle was closed and a new one opened (the system may well
    // give the new one the old number).
    EXPECT_TRUE(host.WaitForEvents("closed 3 handle 1", 1));
    EXPECT_TRUE(host.WaitForEvents("opened 3 handle 2", 1));
    EXPECT_EQ(host.EventsWith("opened 3 handle 2").size(), 1u);

    // The new object reads, and nothing queued for the old one reaches anyone.
    host.Run("send 3 02 0d");
    ASSERT_TRUE(WaitUntil([&] { return window.Reports.size() == 1; }));
    EXPECT_EQ(window.Reports[0].Device, control->FirstDevice);
    EXPECT_EQ(window.UnknownDevices, 0);

    EXPECT_FALSE(control->AddDevice(nullptr));
    std::string missing = "\\\\?\\hid#nothing";
    EXPECT_FALSE(control->AddDevice(missing.data()));
    EXPECT_EQ(control->GetDeviceCount(), 1);
}

TEST_F(HidControlTest, StoppingOneDeviceKeepsTheOthersQueuedReports)
{
    host.Run(PlugCommand(1, "0x000C", "0x01", "in=2"));
    host.Run(PlugCommand(2, "0xFF01", "0x01", "in=2"));
    CreateControl();
    WaitUntilReading();
    CHidDevice* one = control->FindDeviceByPath(VirtualReceiver::DefaultPath(TEST_VENDOR, TEST_PRODUCT, 1).c_str());
    CHidDevice* two = control->FindDeviceByPath(VirtualReceiver::DefaultPath(TEST_VENDOR, TEST_PRODUCT, 2).c_str());
    ASSERT_TRUE(one && two);

    // Let both devices queue messages without the window handling them.
    for (int i = 0; i < 10; ++i) {
        host.Run("send 1 01 0" + std::to_string(i));
        host.Run("send 2 02 0" + std::to_string(i));
    }
    Sleep(300);
    MSG peek;
    ASSERT_TRUE(PeekMessageA(&peek, window.Handle(), WM_HID_READ_NEXT, WM_HID_REPORT, PM_NOREMOVE));

    control->RemoveDevice(one->Info.Handle);
    EXPECT_EQ(control->GetDeviceCount(), 1);
    ASSERT_TRUE(WaitUntil([&] { return ReportsOf(two) == 10; }));
    PumpFor(100);
    EXPECT_EQ(window.UnknownDevices, 0) << "no queued message was left for the removed device";
    for (size_t i = 0; i < window.Reports.size(); ++i) {
        EXPECT_EQ(window.Reports[i].Bytes, (std::vector<uint8_t>{2, static_cast<uint8_t>(i)}));
    }
}

// Sends a removal notice for a handle from another thread, as the system does;
// it is handled whenever the test's thread next takes messages, which is
// inside the device manager's own work.
class RemovalNoticeSender {
public:
    RemovalNoticeSender(HWND window, HANDLE handle) : m_window(window)
    {
        m_record.dbch_size = sizeof(m_record);
        m_record.dbch_devicetype = DBT_DEVTYP_HANDLE;
        m_record.dbch_handle = handle;
        EXPECT_TRUE(AwaitSentMessage([&] { m_thread = CreateThread(nullptr, 0, Main, this, 0, nullptr); }));
    }
    ~RemovalNoticeSender()
    {
        MSG msg;
        while (MsgWaitForMultipleObjects(1, &m_thread, FALSE, 5000, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
            PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
        }
        CloseHandle(m_thread);
    }

private:
    static DWORD WINAPI Main(void* self)
    {
        auto* s = static_cast<RemovalNoticeSender*>(self);
        SendMessageA(s->m_window, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, reinterpret_cast<LPARAM>(&s->m_record));
        return 0;
    }
    HWND m_window;
    DEV_BROADCAST_HANDLE m_record{};
    HANDLE m_thread;
};

TEST_F(HidControlTest, NoticeArrivingWhileAnotherDeviceStopsKeepsTheRestInOrder)
{
    host.Run(PlugCommand(1, "0x000C", "0x01", "in=2"));
    host.Run(PlugCommand(2, "0xFFBC", "0x88", "in=2"));
    host.Run(PlugCommand(3, "0xFF01", "0x01", "in=2"));
    CreateControl();
    WaitUntilReading();
    auto find = [&](int n) {
        return control->FindDeviceByPath(VirtualReceiver::DefaultPath(TEST_VENDOR, TEST_PRODUCT, n).c_str());
    };
    CHidDevice* one = find(1);
    CHidDevice* three = find(3);
    for (int i = 0; i < 8; ++i) {
        host.Run("send 3 03 0" + std::to_string(i));
        host.Run("send 2 02 0" + std::to_string(i));
    }
    Sleep(300);
    {
        RemovalNoticeSender notice(window.Handle(), find(2)->Info.Handle);
        control->RemoveDevice(one->Info.Handle);
        EXPECT_EQ(window.DeviceChanges.size(), 1u) << "the notice ran inside the removal";
    }
    EXPECT_EQ(window.DeviceChanges, std::vector<std::string>{"removecomplete"});
    EXPECT_EQ(control->GetDeviceCount(), 1);
    EXPECT_EQ(control->FirstDevice, three);
    ASSERT_TRUE(WaitUntil([&] { return ReportsOf(three) == 8; }));
    PumpFor(100);
    EXPECT_EQ(window.UnknownDevices, 0);
    ASSERT_EQ(window.Reports.size(), 8u);
    for (size_t i = 0; i < window.Reports.size(); ++i) {
        EXPECT_EQ(window.Reports[i].Bytes, (std::vector<uint8_t>{3, static_cast<uint8_t>(i)}));
    }
}

// Notices the receiver puts aside come from a thread of their own and are
// handled when this thread next takes messages: inside the manager's work
// when the test calls into it right after. Each row puts notices aside (each
// command's first notice is queued here before the next command), then
// closes or removes device 1, while device 9 reads throughout.
struct NestedNoticeRow {
    const char* Name;
    bool CloseFirst;  // query-remove device 1, else remove it
    std::vector<std::string> Aside;
    std::vector<int> Left;  // collections 1 and 2 still listed afterwards
};

class NestedNoticeTest : public HidControlTest, public ::testing::WithParamInterface<NestedNoticeRow> {
protected:
    bool Listed(int n) const
    {
        return control->FindDeviceByPath(VirtualReceiver::DefaultPath(TEST_VENDOR, TEST_PRODUCT, n).c_str()) != nullptr;
    }
    size_t Removals() const
    {
        return static_cast<size_t>(std::count(window.DeviceChanges.begin(), window.DeviceChanges.end(), "removecomplete"));
    }
};

const std::string COLLECTION_1 = PlugCommand(1, "0x000C", "0x01", "in=2");
const std::string COLLECTION_2 = PlugCommand(2, "0x000C", "0x01", "in=2");

// A closed device stays listed (its handle is gone, so later removal
// notices do not find it); a removed one goes.
const NestedNoticeRow NESTED_NOTICE_ROWS[] = {
    {"AnotherDeviceGoesWhileOneIsRemoved", false, {"unplug 2"}, {}},
    {"AnotherDeviceIsEjectedWhileOneCloses", true, {"eject 2"}, {1, 2}},
    {"ACloseInsideACloseThenTheFirstGoes", true, {"eject 2", "unplug 1"}, {2}},
    {"TheClosingDeviceGoesThenAnotherCloses", true, {"unplug 1", "eject 2"}, {2}},
    {"ADeviceComesWhileOneClosesAndGoes", true, {COLLECTION_2, "unplug 1"}, {2}},
};

void PrintTo(const NestedNoticeRow& row, std::ostream* out) { *out << row.Name; }

TEST_P(NestedNoticeTest, EveryDeviceEndsWhereItBelongs)
{
    const NestedNoticeRow& row = GetParam();
    host.Run(PlugCommand(9, "0xFF01", "0x01", "in=2"));
    host.Run(COLLECTION_1);
    if (row.Aside[0] != COLLECTION_2) {
        host.Run(COLLECTION_2);
    }
    CreateControl();
    WaitUntilReading();
    CHidDevice* nine = control->FindDeviceByPath(VirtualReceiver::DefaultPath(TEST_VENDOR, TEST_PRODUCT, 9).c_str());
    CHidDevice* one = control->FindDeviceByPath(VirtualReceiver::DefaultPath(TEST_VENDOR, TEST_PRODUCT, 1).c_str());
    ASSERT_TRUE(nine && one);
    // Reports of device 9 queued behind everything, to be kept in order.
    for (int i = 0; i < 4; ++i) {
        host.Run("send 9 02 0" + std::to_string(i));
    }
    for (const std::string& command : row.Aside) {
        ASSERT_TRUE(AwaitSentMessage([&] { host.Run("aside " + command); })) << command;
    }
    if (row.CloseFirst) {
        control->CloseDevice(one->Info.Handle);
    } else {
        control->RemoveDevice(one->Info.Handle);
    }
    ASSERT_TRUE(host.WaitForEvents("aside handled", row.Aside.size()));
    ASSERT_TRUE(WaitUntil([&] { return ReportsOf(nine) == 4; }));
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(window.Reports[i].Bytes, (std::vector<uint8_t>{2, static_cast<uint8_t>(i)}));
    }
    EXPECT_EQ(window.UnknownDevices, 0);
    std::vector<int> left;
    for (int n : {1, 2}) {
        if (Listed(n)) {
            left.push_back(n);
        }
    }
    EXPECT_EQ(left, row.Left);
    EXPECT_EQ(control->GetDeviceCount(), static_cast<int>(row.Left.size()) + 1);

    // A device that went is gone for good, its removal notice with it:
    // pulling collection 1 (plugged in again, unseen by the manager, if it
    // went) tells only a device still listed for it.
    const size_t expected = Listed(1) ? 1 : 0;
    window.Attach(nullptr);
    if (std::find(row.Aside.begin(), row.Aside.end(), "unplug 1") != row.Aside.end()) {
        host.Run(COLLECTION_1);
    }
    const size_t before = Removals();
    host.Run("unplug 1");
    EXPECT_EQ(Removals() - before, expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, NestedNoticeTest, ::testing::ValuesIn(NESTED_NOTICE_ROWS),
                         [](const ::testing::TestParamInfo<NestedNoticeRow>& info) { return info.param.Name; });

TEST_F(HidControlTest, RemovalArrivingDuringTheQueryRemoveOfTheSameDevice)
{
    host.Run(PlugCommand(1, "0x000C", "0x01"));
    CreateControl();
    WaitUntilReading();
    HANDLE handle = control->FirstDevice->Info.Handle;
    {
        RemovalNoticeSender notice(window.Handle(), handle);
        control->CloseDevice(handle);
        EXPECT_EQ(control->GetDeviceCount(), 0) << "the notice ran inside the close";
    }
    EXPECT_EQ(control->GetDeviceCount(), 0);
    EXPECT_EQ(control->FirstDevice, nullptr);
    EXPECT_TRUE(host.WaitForEvents("closed 1 ", 1));
}

TEST_F(HidControlTest, OverLongReportIsCutToTheInputLengthAndItsRestDropped)
{
    host.Run(PlugCommand(1, "0xFF01", "0x01", "in=4"));
    CreateControl();
    WaitUntilReading();
    host.Run("send 1 02 11 22 33 44 55 66 77 88 99 aa bb");
    host.Run("send 1 02 01 02 03");
    ASSERT_TRUE(WaitUntil([&] { return window.Reports.size() >= 2; }));
    PumpFor(200);
    ASSERT_EQ(window.Reports.size(), 2u);
    EXPECT_EQ(window.Reports[0].Bytes, (std::vector<uint8_t>{2, 0x11, 0x22, 0x33}));
    EXPECT_EQ(window.Reports[1].Bytes, (std::vector<uint8_t>{2, 1, 2, 3}));
    EXPECT_EQ(control->FirstDevice->Info.Input.Length, 4u);

    // The same when the over-long report arrives while the read is pending.
    WaitUntilReading();
    host.Run("send 1 03 01 02 03 04 05 06 07 08 09");
    host.Run("send 1 04 09 08 07");
    ASSERT_TRUE(WaitUntil([&] { return window.Reports.size() >= 4; }));
    PumpFor(200);
    ASSERT_EQ(window.Reports.size(), 4u);
    EXPECT_EQ(window.Reports[2].Bytes, (std::vector<uint8_t>{3, 1, 2, 3}));
    EXPECT_EQ(window.Reports[3].Bytes, (std::vector<uint8_t>{4, 9, 8, 7}));
}

// A report shorter than the input length must not pick up the previous
// report's bytes: "02" after "02 0d ..." would otherwise press 0x0d again.
TEST_F(HidControlTest, ShortReportReadsAsZerosPastItsEnd)
{
    host.Run(PlugCommand(1, "0xFF01", "0x01", "in=4"));
    CreateControl();
    WaitUntilReading();
    // Queued together: the second read completes at once.
    host.Run("send 1 02 0d 22 33");
    host.Run("send 1 02");
    ASSERT_TRUE(WaitUntil([&] { return window.Reports.size() >= 2; }));
    // The same with the short report arriving while the read is pending.
    WaitUntilReading();
    host.Run("send 1 05 0d");
    ASSERT_TRUE(WaitUntil([&] { return window.Reports.size() >= 3; }));
    WaitUntilReading();
    host.Run("send 1 03");
    ASSERT_TRUE(WaitUntil([&] { return window.Reports.size() >= 4; }));
    EXPECT_EQ(window.Reports[0].Bytes, (std::vector<uint8_t>{2, 0x0d, 0x22, 0x33}));
    EXPECT_EQ(window.Reports[1].Bytes, (std::vector<uint8_t>{2, 0, 0, 0}));
    EXPECT_EQ(window.Reports[2].Bytes, (std::vector<uint8_t>{5, 0x0d, 0, 0}));
    EXPECT_EQ(window.Reports[3].Bytes, (std::vector<uint8_t>{3, 0, 0, 0}));
}

// Each row makes reads of its own collection fail: a pending read (the one
// every idle device has), or one issued right after a first failure, whose
// error is then waiting when the read starts, so it fails at once. Failures
// of a device that refuses or has gone stop its reading; others are tried
// again after a pause, up to a bound.
TEST_F(HidControlTest, FailedReadsStopOrAreTriedAgainByTheirError)
{
    struct Row {
        uint32_t error;
        uint32_t count;
        bool atOnce;
        bool stops;
    };
    const Row rows[] = {
        {ERROR_ACCESS_DENIED, 1, false, true},        {ERROR_ACCESS_DENIED, 1, true, true},
        {ERROR_INVALID_HANDLE, 1, false, true},       {ERROR_INVALID_HANDLE, 1, true, true},
        {ERROR_OPERATION_ABORTED, 1, false, true},    {ERROR_OPERATION_ABORTED, 1, true, true},
        {ERROR_DEVICE_NOT_CONNECTED, 1, false, true}, {ERROR_DEVICE_NOT_CONNECTED, 1, true, true},
        {ERROR_GEN_FAILURE, 1, false, false},         {ERROR_GEN_FAILURE, 1, true, false},
        {ERROR_INVALID_PARAMETER, 1, false, false},   {ERROR_INVALID_PARAMETER, 1, true, false},
        {ERROR_GEN_FAILURE, 9, false, false},  // just under the bound: reads go on
        {ERROR_GEN_FAILURE, 10, false, true},  // ten in a row: given up
    };
    const int count = static_cast<int>(sizeof(rows) / sizeof(rows[0]));
    for (int n = 1; n <= count; ++n) {
        host.Run(PlugCommand(n, "0x000C", "0x01", "in=2"));
    }
    CreateControl();
    WaitUntilReading();
    auto device = [&](int n) {
        return control->FindDeviceByPath(VirtualReceiver::DefaultPath(TEST_VENDOR, TEST_PRODUCT, n).c_str());
    };
    for (int n = 1; n <= count; ++n) {
        const Row& row = rows[n - 1];
        std::string number = std::to_string(n);
        if (row.atOnce) {
            host.Run("failread " + number + " 31");
        }
        host.Run("failread " + number + " " + std::to_string(row.error) + " " + std::to_string(row.count));
    }
    for (int n = 1; n <= count; ++n) {
        const Row& row = rows[n - 1];
        SCOPED_TRACE("collection " + std::to_string(n) + " error " + std::to_string(row.error));
        CHidDevice* d = device(n);
        ASSERT_NE(d, nullptr);
        // Every failure reached the device, the row's error last.
        std::string prefix = "readfailed " + std::to_string(n) + " handle ";
        ASSERT_TRUE(host.WaitForEvents(prefix, row.count + (row.atOnce ? 1 : 0)));
        std::string last = host.EventsWith(prefix).back();
        EXPECT_EQ(last.substr(last.rfind(' ') + 1), std::to_string(row.error));
        if (row.stops) {
            EXPECT_TRUE(WaitUntil([&] { return d->ReadingStopped(); }));
            EXPECT_FALSE(d->IssueRead()) << "a read asked for from elsewhere does not restart it";
            continue;
        }
        host.Run("send " + std::to_string(n) + " 05 01");
        EXPECT_TRUE(WaitUntil([&] { return ReportsOf(d) == 1; })) << "read again after the failure";
        EXPECT_FALSE(d->ReadingStopped());
    }
}

// A read asked for from elsewhere (a WM_HID_READ_NEXT another program posts)
// while the reader pauses after failures: the reader waits for that read
// rather than for a request that can no longer be granted.
TEST_F(HidControlTest, AReadAskedForDuringAPauseAfterFailuresIsWaitedFor)
{
    host.Run(PlugCommand(1, "0x000C", "0x01", "in=2"));
    CreateControl();
    WaitUntilReading();
    CHidDevice* d = control->FirstDevice;
    // Eight failures in a row: the pause after the last is the longest.
    host.Run("failread 1 31 8");
    ASSERT_TRUE(host.WaitForEvents("readfailed 1 ", 8));
    // Granted as soon as the reader has seen the failed read end. No message
    // is taken meanwhile: a request of the reader's own, should its pause be
    // over already, stays queued and is refused later, as the read pends.
    bool granted = false;
    for (DWORD start = GetTickCount(); !granted && GetTickCount() - start < WAIT_DEFAULT_MS; Sleep(1)) {
        granted = d->IssueRead() != FALSE;
    }
    ASSERT_TRUE(granted);
    host.Run("send 1 05 01");
    EXPECT_TRUE(WaitUntil([&] { return ReportsOf(d) == 1; }));
    EXPECT_FALSE(d->ReadingStopped());
}

TEST_F(HidControlTest, MessagesNamingNoListedDeviceAreRefused)
{
    host.Run(PlugCommand(1, "0x000C", "0x01"));
    CreateControl();
    EXPECT_EQ(control->FindListedDevice(0), nullptr);
    EXPECT_EQ(control->FindListedDevice(0x12345678), nullptr);
    EXPECT_EQ(control->FindListedDevice(reinterpret_cast<LPARAM>(control->FirstDevice)), control->FirstDevice);
}

TEST_F(HidControlTest, DestroyingTheManagerStopsEveryReader)
{
    host.Run(PlugCommand(1, "0x000C", "0x01"));
    host.Run(PlugCommand(2, "0xFF01", "0x01"));
    CreateControl();
    WaitUntilReading();
    host.Run("send 1 01 00");
    control.reset();
    window.Attach(nullptr);
    EXPECT_TRUE(host.WaitForEvents("closed ", 2));
    PumpFor(100);
    EXPECT_TRUE(window.Reports.empty());
    EXPECT_EQ(window.UnknownDevices, 0) << "nothing queued outlives the devices";
}

TEST(WindowsHidBackendTest, UnderWineTheHidStackFindsNoReceiver)
{
    RegistrySandbox sandbox;
    ResetConfigStoreForTests();
    SetEnvironmentVariableA(VIRTUAL_RECEIVER_ENV, nullptr);
    ShutdownHidBackend();
    HidTestWindow window;
    {
        CHidControl control(window.Handle());
        window.Attach(&control);
        EXPECT_TRUE(control.EnumerateDevices());
        EXPECT_EQ(control.GetDeviceCount(), 0);
        EXPECT_EQ(control.FirstDevice, nullptr);
        EXPECT_NE(control.InterfaceNotification, nullptr);
        uint8_t code = 0;
        EXPECT_EQ(control.ReadWakeButton(&code), WAKE_STATUS_NO_COLLECTION);
    }
    ShutdownHidBackend();
    ResetConfigStoreForTests();
}

}  // namespace
