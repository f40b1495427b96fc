// Corpora of malformed input thrown at kova.exe as a real process, on a
// virtual classic receiver: client records (WM_COPYDATA) of every kind and
// of every size from 0 to 4096 bytes, receiver reports of random length and
// content, and device notices with bad headers; each on a machine in test
// mode and on a configured one (Test_Mode 0, a configured target window).
// Each input gets its defined answer, kova never ends, and what comes after
// the corpus still works: a press reaches the screen or the target window,
// the receiver stays open.
//
// The short form runs in every test run; with KOVA_CORPUS=long in the
// environment each corpus runs in full (every size, many more reports).

#include "base/messages.h"
#include "config/config.h"
#include "config/config_report.h"
#include "config/controls.h"
#include "config/target_window_table.h"
#include "osd/client_osd_request.h"
#include "tests/core/hub_fixture.h"
#include "tests/hid/receiver_host.h"
#include "tests/support/journal_fields.h"
#include "tests/support/journal_reader.h"
#include "tests/support/kova_process.h"
#include "tests/support/recording_window.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>
#include <dbt.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr DWORD START_TIMEOUT_MS = 20000;
constexpr DWORD SHUTDOWN_LIMIT_MS = 2 * 5500 + 2000;
constexpr DWORD ANSWER_MS = 5000;
constexpr DWORD SHOW_MS = 10000;
constexpr size_t RECORD_MAX = 4096;

// The vendor collection of a classic receiver: 8-byte reports.
const std::string CLASSIC_COL03 = PlugCommand(3, "0xffbc", "0x88", "in=8 feature=4");

bool LongCorpus()
{
    char value[8] = {};
    return GetEnvironmentVariableA("KOVA_CORPUS", value, sizeof(value)) > 0 && std::strcmp(value, "long") == 0;
}

// Every size in the long form; in the short form every size up to 48, the
// sizes on either side of the records and of powers of two, and a few at
// random.
std::vector<size_t> RecordSizes(std::mt19937& rng)
{
    std::vector<size_t> sizes;
    if (LongCorpus()) {
        for (size_t size = 0; size <= RECORD_MAX; ++size) {
            sizes.push_back(size);
        }
        return sizes;
    }
    for (size_t size = 0; size <= 48; ++size) {
        sizes.push_back(size);
    }
    for (size_t edge : {64u, 128u, 140u, 256u, 512u, 1024u, 2048u, 4096u}) {
        sizes.push_back(edge - 1);
        sizes.push_back(edge);
        if (edge < RECORD_MAX) {
            sizes.push_back(edge + 1);
        }
    }
    for (int i = 0; i < 16; ++i) {
        sizes.push_back(rng() % (RECORD_MAX + 1));
    }
    return sizes;
}

std::vector<uint8_t> RandomBytes(std::mt19937& rng, size_t size)
{
    std::vector<uint8_t> bytes(size);
    for (uint8_t& b : bytes) {
        b = static_cast<uint8_t>(rng());
    }
    return bytes;
}

class MalformedInputBase : public ::testing::Test {
protected:
    // configured: Test_Mode 0 with a target window of the test for category
    // 0, which MCE Start reaches; otherwise test mode, which shows names.
    void Prepare(bool configured)
    {
        m_configured = configured;
        host.Run(CLASSIC_COL03);
        AddTestReceiverIdentity();
        if (configured) {
            RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, CONTROLS_KEY, "Test_Mode", 0);
            RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, TARGET_WINDOWS_KEY, "Wnd1_Class", m_targetClass);
            RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, TARGET_WINDOWS_KEY, "Wnd1_Control", 0x10000);
            RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, TARGET_WINDOWS_KEY, "Wnd1_Msg", 5);
        }
    }

    // With the keyboard features on, the main window has the keyboard's class.
    void StartKova(const char* windowClass = MAIN_WINDOW_CLASS)
    {
        const size_t opened = host.EventsWith("opened 3 handle").size();
        ASSERT_TRUE(kova.Start(StagedPath("kova.exe"), ""));
        window = kova.WaitForWindow(windowClass, START_TIMEOUT_MS);
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(host.WaitForEvents("opened 3 handle", opened + 1, START_TIMEOUT_MS));
    }

    void TearDown() override
    {
        if (window) {
            EXPECT_TRUE(kova.IsRunning()) << "kova.exe ended during the corpus";
        }
        if (window && kova.IsRunning()) {
            PostMessageA(window, WM_CLOSE, 0, 0);
            DWORD code = 0xFFFF;
            EXPECT_TRUE(kova.WaitForExit(SHUTDOWN_LIMIT_MS, &code));
            EXPECT_EQ(code, 0u);
        }
    }

    // Sends a message and gives kova's answer; the test fails when kova does
    // not answer in time.
    LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam)
    {
        DWORD_PTR answer = 0;
        EXPECT_NE(SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, ANSWER_MS, &answer), 0)
            << "kova.exe does not answer message " << message;
        return static_cast<LRESULT>(answer);
    }

    std::vector<std::string> Texts() const
    {
        std::vector<std::string> texts;
        for (const std::string& line : journal.Calls("orlanosd.dll", "OnScreen_DisplayA")) {
            texts.push_back(ParseJournalFields(line)["text"]);
        }
        return texts;
    }

    // A player notice queued behind everything sent so far: once its text
    // shows, kova has handled all that came before.
    void Fence()
    {
        const size_t before = Texts().size();
        PostMessageA(window, WM_PLAYER_OSD, PLAYER_OSD_TAG, 0);
        ASSERT_TRUE(WaitUntil([&] { return Texts().size() > before; }, SHOW_MS)) << "kova.exe stopped working";
    }

    // Every report field let go, then a button pressed and released: in test
    // mode NextTrack, whose name is then the last text shown; on the
    // configured machine MCE Start, which the target window then receives.
    void ExpectAPressStillWorks()
    {
        for (uint8_t id = 2; id <= 6; ++id) {
            const uint8_t release[8] = {id};
            host.Receiver().SendInput(3, release, sizeof(release));
        }
        m_target.Take();
        const uint8_t press[8] = {m_configured ? uint8_t{0x04} : uint8_t{0x02}, m_configured ? uint8_t{0x0d} : uint8_t{0x01}};
        const uint8_t release[8] = {press[0]};
        host.Receiver().SendInput(3, press, sizeof(press));
        host.Receiver().SendInput(3, release, sizeof(release));
        if (m_configured) {
            EXPECT_TRUE(WaitUntil([&] { return !m_target.Take().empty(); }, SHOW_MS))
                << "a press after the corpus did not reach the target window";
            return;
        }
        EXPECT_TRUE(WaitUntil(
            [&] {
                auto texts = Texts();
                return !texts.empty() && texts.back() == "NextTrack";
            },
            SHOW_MS))
            << "a press after the corpus did not reach the screen";
    }

    CleanOrlanRegistry clean;
    ScopedJournal journal;
    ReceiverHost host;
    ChildProcess kova;
    HWND window = nullptr;
    std::mt19937 rng{20};
    bool m_configured = false;
    std::string m_targetClass = UniqueWindowName("kova corpus target");
    RecordingWindow m_target{m_targetClass, "target"};
};

// Each corpus on a machine in test mode (false) and on a configured one.
class MalformedInputTest : public MalformedInputBase, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override { Prepare(GetParam()); }
};
INSTANTIATE_TEST_SUITE_P(Machines, MalformedInputTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Configured" : "TestMode";
                         });

class MalformedSettingsTest : public MalformedInputBase {
protected:
    void SetUp() override { Prepare(false); }
};

// Kind 0 registers a client window from a 24-byte record, kind 1 shows a
// client's text from a 140-byte record; any other kind is ignored. Shorter
// records are refused, longer ones read only as far as the record goes, and
// every sender is answered TRUE. Each whole on-screen request with a text
// shows exactly once.
TEST_P(MalformedInputTest, EveryCopyDataKindAndSizeIsAnsweredAndOnlyWholeRequestsShow)
{
    StartKova();
    const WPARAM kinds[] = {COPYDATA_REGISTER_WINDOW, COPYDATA_OSD_REQUEST, 2, 3, 0x7FFF, 0xFFFF,
                            static_cast<WPARAM>(-1)};
    size_t expectedShown = 0;
    size_t sent = 0;
    for (size_t size : RecordSizes(rng)) {
        for (WPARAM kind : kinds) {
            std::vector<uint8_t> data = RandomBytes(rng, std::max<size_t>(size, 1));
            // A text starts with a letter, or is empty a quarter of the time.
            const bool withText = rng() % 4 != 0;
            if (size > offsetof(ClientOsdRequest, Text)) {
                data[offsetof(ClientOsdRequest, Text)] = withText ? static_cast<uint8_t>('A' + rng() % 26) : 0;
            }
            COPYDATASTRUCT copy{};
            copy.dwData = rng();
            copy.cbData = static_cast<DWORD>(size);
            copy.lpData = data.data();
            ASSERT_EQ(Send(WM_COPYDATA, kind, reinterpret_cast<LPARAM>(&copy)), TRUE) << "kind " << kind << " size "
                                                                                          << size;
            ++sent;
            if (kind == COPYDATA_OSD_REQUEST && size >= sizeof(ClientOsdRequest) && withText) {
                ++expectedShown;
            }
        }
    }
    // No data at all, with and without a size.
    for (DWORD size : {0u, 100u}) {
        COPYDATASTRUCT copy{};
        copy.cbData = size;
        EXPECT_EQ(Send(WM_COPYDATA, COPYDATA_OSD_REQUEST, reinterpret_cast<LPARAM>(&copy)), TRUE);
    }
    Fence();
    EXPECT_EQ(Texts().size(), expectedShown + 1) << sent << " records sent";
    ExpectAPressStillWorks();
}

// Reports of every length from 0 to 64 bytes with random content, most with
// a report ID the receiver uses: each is decoded or dropped, none stops the
// reader or the window, and a press that follows still shows.
TEST_P(MalformedInputTest, RandomReceiverReportsLeaveThePressesWorking)
{
    StartKova();
    const int count = LongCorpus() ? 20000 : 600;
    for (int i = 0; i < count; ++i) {
        std::vector<uint8_t> report = RandomBytes(rng, rng() % 65);
        if (!report.empty() && rng() % 4 != 0) {
            report[0] = static_cast<uint8_t>(rng() % 8);
        }
        ASSERT_GE(host.Receiver().SendInput(3, report.data(), report.size()), 0);
        if (i % 100 == 99) {
            ExpectAPressStillWorks();
        }
    }
    ExpectAPressStillWorks();
    Fence();
    EXPECT_TRUE(host.EventsWith("closed 3").empty()) << "the receiver was closed";
}

// Device notices of every event with headers of every size, random device
// types and random contents: the ones that name no open device change
// nothing, each is answered TRUE, and the receiver stays open.
TEST_P(MalformedInputTest, DeviceNoticesWithBadHeadersChangeNothing)
{
    StartKova();
    // DBT_DEVICEQUERYREMOVEFAILED is left out: from anyone it asks kova to
    // open every device afresh, which is its defined answer.
    const WPARAM events[] = {DBT_DEVICEARRIVAL,  DBT_DEVICEQUERYREMOVE, DBT_DEVICEREMOVEPENDING,
                             DBT_DEVICEREMOVECOMPLETE, DBT_DEVICETYPESPECIFIC, DBT_CUSTOMEVENT};
    const DWORD types[] = {DBT_DEVTYP_DEVICEINTERFACE, DBT_DEVTYP_HANDLE, DBT_DEVTYP_VOLUME, 0xFFFFFFFF};
    for (size_t size : RecordSizes(rng)) {
        for (WPARAM event : events) {
            // Wine copies dbch_size bytes of the sender's header to kova:
            // the block always holds at least the header's own fields.
            std::vector<uint8_t> block = RandomBytes(rng, std::max(size, sizeof(DEV_BROADCAST_HDR)));
            auto* header = reinterpret_cast<DEV_BROADCAST_HDR*>(block.data());
            header->dbch_size = static_cast<DWORD>(size);
            header->dbch_devicetype = types[rng() % 4];
            const LRESULT answer = Send(WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(block.data()));
            if (size >= sizeof(DEV_BROADCAST_HDR)) {
                EXPECT_EQ(answer, TRUE) << "event " << event << " size " << size;
            }
        }
    }
    ExpectAPressStillWorks();
    EXPECT_TRUE(host.EventsWith("closed 3").empty()) << "a notice closed the receiver";
}

// Every number setting kova reads (all but the receiver's identity, which
// makes the receiver known) stored with an extreme value: kova starts, opens
// the receiver, shows a press where test mode stays on, answers at once and
// ends cleanly when closed.
TEST_F(MalformedSettingsTest, ExtremeNumbersInEverySettingLeaveKovaWorking)
{
    ResetConfigStoreForTests();
    const std::vector<SettingLine> settings = InspectConfiguration();
    ResetConfigStoreForTests();
    for (uint32_t extreme : {0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu, 0u}) {
        SCOPED_TRACE("every number " + std::to_string(extreme));
        int written = 0;
        for (const SettingLine& setting : settings) {
            const bool identity = setting.Name.rfind("VendorID", 0) == 0 || setting.Name.rfind("ProductID", 0) == 0;
            if (setting.Place.compare(0, 5, "HKLM\\") != 0 || setting.Value.empty() || setting.Value[0] == '"' ||
                identity) {
                continue;
            }
            RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, setting.Place.substr(5).c_str(), setting.Name.c_str(),
                                      extreme);
            ++written;
        }
        ASSERT_GT(written, 20);
        StartKova(extreme != 0 ? KEYBOARD_WINDOW_CLASS : MAIN_WINDOW_CLASS);
        if (extreme != 0) {
            ExpectAPressStillWorks();  // Test_Mode is on
        }
        LRESULT answer = Send(WM_NULL, 0, 0);
        EXPECT_EQ(answer, 0);
        PostMessageA(window, WM_CLOSE, 0, 0);
        DWORD code = 0xFFFF;
        ASSERT_TRUE(kova.WaitForExit(SHUTDOWN_LIMIT_MS, &code));
        EXPECT_EQ(code, 0u);
        window = nullptr;
    }
}

}  // namespace
