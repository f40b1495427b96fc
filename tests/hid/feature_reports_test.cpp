#include "hid/feature_reports.h"

#include "base/power.h"
#include "config/controls.h"
#include "hid/feature_report_layout.h"
#include "hid/hid_control.h"
#include "tests/hid/receiver_host.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

class FeatureReportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetConfigStoreForTests();
        RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, DEVICE_IDENTITY_KEY, "ProductID1", TEST_PRODUCT);
        RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, DEVICE_IDENTITY_KEY, "VendorID1", TEST_VENDOR);
        // Short sleeps between feature retries keep the tests quick.
        RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, CONTROLS_KEY, "TimerGetFeatureSleep", 20);
    }
    void TearDown() override
    {
        control.reset();
        OverrideConnectedStandbyForTests(-1);
        ResetConfigStoreForTests();
    }

    void CreateControl()
    {
        control = std::make_unique<CHidControl>(window.Handle());
        window.Attach(control.get());
    }

    void PlugClassicReceiver(const std::string& feature = "feature=4")
    {
        host.Run(PlugCommand(1, "0x000C", "0x01", feature));
        host.Run(PlugCommand(2, "0xFFBC", "0x88", feature));
        host.Run(PlugCommand(3, "0xFFBC", "0x88", feature));
    }

    RegistrySandbox sandbox;
    ReceiverHost host;
    HidTestWindow window;
    std::unique_ptr<CHidControl> control;
};

TEST_F(FeatureReportTest, WakeButtonIsReadFromCol03Only)
{
    PlugClassicReceiver();
    for (int n = 1; n <= 3; ++n) {
        host.Run("feature " + std::to_string(n) + " 03 " + std::to_string(40 + n));
    }
    CreateControl();
    ASSERT_EQ(control->GetDeviceCount(), 3);
    uint8_t code = 0;
    EXPECT_EQ(control->ReadWakeButton(&code), WAKE_STATUS_OK);
    EXPECT_EQ(code, 0x43);
    std::vector<std::string> reads = host.EventsWith("getfeature ");
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].rfind("getfeature 3 handle ", 0), 0u) << reads[0];
    EXPECT_NE(reads[0].find(" 03 43 00 00"), std::string::npos) << reads[0];
    EXPECT_EQ(LastFeatureHandle, control->FindDeviceByPath(
                                      VirtualReceiver::DefaultPath(TEST_VENDOR, TEST_PRODUCT, 3).c_str())
                                     ->Info.Handle);
}

TEST_F(FeatureReportTest, WakeButtonStatusesWithoutASuitableCollection)
{
    // "col3" has only one character after "col"; "col04" is not the wake collection.
    host.Run(PlugCommand(1, "0x000C", "0x01", "path=\\\\?\\hid#vid_0bda&pid_0150&col3"));
    host.Run(PlugCommand(4, "0xFFBC", "0x88"));
    CreateControl();
    ASSERT_EQ(control->GetDeviceCount(), 2);
    uint8_t code = 0;
    EXPECT_EQ(control->ReadWakeButton(&code), WAKE_STATUS_NO_COLLECTION);
    host.Run(PlugCommand(3, "0xFFBC", "0x88", "feature=0"));
    ASSERT_EQ(control->GetDeviceCount(), 3);
    EXPECT_EQ(control->ReadWakeButton(nullptr), WAKE_STATUS_MISSING_ARGUMENT);
    EXPECT_EQ(control->ReadWakeButton(&code), WAKE_STATUS_NO_FEATURE_REPORT);
    EXPECT_TRUE(host.EventsWith("getfeature").empty());
}

TEST_F(FeatureReportTest, WakeButtonRetriesAsConfigured)
{
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, CONTROLS_KEY, "RetryGetFeature", 3);
    PlugClassicReceiver();
    host.Run("feature 3 03 07");
    host.Run("failfeature 3 all");
    CreateControl();
    uint8_t code = 0xAA;
    EXPECT_EQ(control->ReadWakeButton(&code), WAKE_STATUS_NO_ANSWER);
    EXPECT_EQ(code, 0xAA) << "untouched without an answer";
    EXPECT_EQ(host.EventsWith("getfeature 3 ").size(), 3u);

    // Two failures, then the answer on the third try.
    host.Run("failfeature 3 2");
    EXPECT_EQ(control->ReadWakeButton(&code), WAKE_STATUS_OK);
    EXPECT_EQ(code, 7);
    EXPECT_EQ(host.EventsWith("getfeature 3 ").size(), 6u);
}

TEST_F(FeatureReportTest, NoRetriesMeansNoRead)
{
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, CONTROLS_KEY, "RetryGetFeature", 0);
    PlugClassicReceiver();
    CreateControl();
    uint8_t code = 0;
    EXPECT_EQ(control->ReadWakeButton(&code), WAKE_STATUS_NO_ANSWER);
    EXPECT_TRUE(host.EventsWith("getfeature").empty());
}

TEST_F(FeatureReportTest, WakeEventIsReadAndAcknowledgedKeepingTheLastByte)
{
    OverrideConnectedStandbyForTests(1);
    host.Run(PlugCommand(1, "0xFF01", "0x02", "feature=8"));  // wrong usage: not the radio collection
    host.Run(PlugCommand(2, "0xFF01", "0x01", "feature=8"));
    host.Run("feature 2 04 02 34 12 01 aa bb 7f");
    CreateControl();
    ASSERT_EQ(control->GetDeviceCount(), 1);
    uint8_t kind = 0, flag = 0;
    uint16_t code = 0;
    EXPECT_EQ(control->ReadWakeEvent(&kind, &code, &flag), WAKE_STATUS_OK);
    EXPECT_EQ(kind, 2);
    EXPECT_EQ(code, 0x1234);
    EXPECT_EQ(flag, 1);
    std::vector<std::string> writes = host.EventsWith("setfeature 2 ");
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_NE(writes[0].find(" 04 00 00 00 00 00 00 7f"), std::string::npos) << writes[0];

    // Without connected standby the flag is not touched.
    OverrideConnectedStandbyForTests(0);
    flag = 0x55;
    EXPECT_EQ(control->ReadWakeEvent(&kind, &code, &flag), WAKE_STATUS_OK);
    EXPECT_EQ(flag, 0x55);
    EXPECT_EQ(control->ReadWakeEvent(&kind, &code, nullptr), WAKE_STATUS_OK);
    EXPECT_EQ(control->ReadWakeEvent(nullptr, &code, nullptr), WAKE_STATUS_MISSING_ARGUMENT);
    EXPECT_EQ(control->ReadWakeEvent(&kind, nullptr, nullptr), WAKE_STATUS_MISSING_ARGUMENT);
}

TEST_F(FeatureReportTest, WakeEventFailuresAndShortReports)
{
    OverrideConnectedStandbyForTests(1);
    uint8_t kind = 0, flag = 0;
    uint16_t code = 0;
    CreateControl();
    EXPECT_EQ(control->ReadWakeEvent(&kind, &code, &flag), WAKE_STATUS_NO_COLLECTION);

    host.Run(PlugCommand(2, "0xFF01", "0x01", "feature=3"));
    host.Run("feature 2 04 05 06");
    host.Run("failfeature 2 1");
    EXPECT_EQ(control->ReadWakeEvent(&kind, &code, &flag), WAKE_STATUS_NO_ANSWER) << "read once, no retry";
    EXPECT_TRUE(host.EventsWith("setfeature").empty()) << "nothing to acknowledge";

    // A three-byte report: the code's high byte and the flag are not there.
    flag = 0x55;
    EXPECT_EQ(control->ReadWakeEvent(&kind, &code, &flag), WAKE_STATUS_OK);
    EXPECT_EQ(kind, 5);
    EXPECT_EQ(code, 6);
    EXPECT_EQ(flag, 0);
    std::vector<std::string> writes = host.EventsWith("setfeature 2 ");
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].substr(writes[0].size() - 9), " 04 00 06") << writes[0];
}

TEST_F(FeatureReportTest, WritesGoToTheCollectionLastReadEvenAfterItClosed)
{
    uint8_t report[TV_READY_LENGTH];
    BuildTvReady(report);
    LastFeatureHandle = nullptr;
    EXPECT_FALSE(WriteFeature(report, sizeof(report))) << "no read yet";

    PlugClassicReceiver("feature=9");
    host.Run("feature 3 03 09");
    CreateControl();
    uint8_t code = 0;
    ASSERT_EQ(control->ReadWakeButton(&code), WAKE_STATUS_OK);
    EXPECT_TRUE(SendTvReady());
    uint8_t state = 0;
    host.Run("feature 3 02 fd 01");
    EXPECT_TRUE(SendLaunchHandshake(&state));
    EXPECT_EQ(state, 1);
    std::vector<std::string> writes = host.EventsWith("setfeature 3 ");
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_NE(writes[0].find(" 02 10 80 00 00 00 00 00 02"), std::string::npos) << writes[0];
    EXPECT_NE(writes[1].find(" 02 fd 71 00 00 00 00 00"), std::string::npos) << writes[1];

    // The collection goes away: the remembered handle stays, writes fail.
    HANDLE last = LastFeatureHandle;
    host.Run("unplug 3");
    EXPECT_EQ(LastFeatureHandle, last);
    EXPECT_FALSE(SendTvReady());
    EXPECT_FALSE(SendLaunchHandshake(&state));
}

TEST_F(FeatureReportTest, WakeReplyEchoesTheInputReport)
{
    host.Run(PlugCommand(2, "0xFF01", "0x01", "in=4 feature=6"));
    host.Run("feature 2 04");
    CreateControl();
    CHidDevice* device = control->FirstDevice;
    ASSERT_NE(device, nullptr);
    uint8_t kind = 0;
    uint16_t code = 0;
    ASSERT_EQ(control->ReadWakeEvent(&kind, &code, nullptr), WAKE_STATUS_OK);
    const uint8_t input[] = {0x03, 0x1B, 0x00, 0x00};
    std::memcpy(device->Info.Input.Buffer, input, sizeof(input));
    EXPECT_TRUE(SendWakeReply(device->Info));
    std::vector<std::string> writes = host.EventsWith("setfeature 2 ");
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[1].substr(writes[1].find(" handle ") + 10), "03 03 1b 00 44 00") << writes[1];
}

TEST(FeatureReportLayoutTest, BuildersAndDecoder)
{
    uint8_t handshake[LAUNCH_HANDSHAKE_LENGTH];
    BuildLaunchHandshake(handshake);
    EXPECT_EQ(std::vector<uint8_t>(handshake, handshake + 8), (std::vector<uint8_t>{2, 0xFD, 0x71, 0, 0, 0, 0, 0}));
    uint8_t ready[TV_READY_LENGTH];
    BuildTvReady(ready);
    EXPECT_EQ(std::vector<uint8_t>(ready, ready + 9), (std::vector<uint8_t>{2, 0x10, 0x80, 0, 0, 0, 0, 0, 2}));

    // The wake reply needs byte 1 of the input and five bytes of room;
    // anything shorter is refused rather than written past.
    const uint8_t input[] = {0x05, 0x21};
    std::vector<uint8_t> reply(8, 0xEE);
    EXPECT_TRUE(BuildWakeReply(input, 2, reply.data(), reply.size()));
    EXPECT_EQ(reply, (std::vector<uint8_t>{5, 5, 0x21, 0, 0x44, 0, 0, 0}));
    std::vector<uint8_t> small(4, 0xEE);
    EXPECT_FALSE(BuildWakeReply(input, 2, small.data(), small.size()));
    EXPECT_EQ(small, std::vector<uint8_t>(4, 0xEE));
    EXPECT_FALSE(BuildWakeReply(input, 1, reply.data(), reply.size()));

    const uint8_t event[] = {4, 1, 0xCD, 0xAB, 9};
    WakeEvent e = DecodeWakeEvent(event, 5);
    EXPECT_EQ(e.Kind, 1);
    EXPECT_EQ(e.Code, 0xABCD);
    EXPECT_EQ(e.Flag, 9);
    e = DecodeWakeEvent(event, 2);
    EXPECT_EQ(e.Code, 0);
    EXPECT_EQ(e.Flag, 0);

    uint8_t two[] = {4, 7};
    ClearWakeEvent(two, 2);
    EXPECT_EQ(two[1], 7) << "too short to clear";

    std::vector<uint8_t> display(8, 0xEE);
    EXPECT_TRUE(BuildRemoteDisplayReport(0x12345678, display.data(), display.size()));
    EXPECT_EQ(display, (std::vector<uint8_t>{4, 0x78, 0x56, 0x34, 0x12, 0, 0, 0}));
    EXPECT_FALSE(BuildRemoteDisplayReport(1, display.data(), 4));
}

}  // namespace
