// The numeric code entry of the key controllers with real windows: the test
// mode's entry driven by keyboard reports through the program's main window
// (its timer included), the results posted to a navigation test window of
// the test's own, and finished numbers handed to the stand-in setting tool,
// started from a Program Files folder of the test's own. The result windows
// are looked for session-wide, so these tests have the desktop to
// themselves.

#include "keys/key_test_ctrl.h"

#include "core/main_ctrl.h"
#include "hid/hid_device.h"
#include "keys/numeric_entry.h"
#include "tests/core/hub_fixture.h"
#include "tests/support/journal_reader.h"
#include "tests/support/kova_process.h"
#include "tests/support/program_files_sandbox.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace {

constexpr char GUIDE_CLASS[] = "KovaTestGuideWindow";
constexpr DWORD POST_TIMEOUT_MS = 10000;
constexpr DWORD TOOL_TIMEOUT_MS = 15000;

using Post = std::pair<WPARAM, uint32_t>;
using Posts = std::vector<Post>;

// The navigation test window: records every result posted to it.
class GuideWindow {
public:
    GuideWindow()
    {
        WNDCLASSA wc{};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = GUIDE_CLASS;
        RegisterClassA(&wc);
        s_posts.clear();
        m_window = CreateWindowExA(0, GUIDE_CLASS, NAVIGATION_TEST_TITLE, WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                   wc.hInstance, nullptr);
        EXPECT_NE(m_window, nullptr);
    }
    ~GuideWindow() { DestroyWindow(m_window); }
    GuideWindow(const GuideWindow&) = delete;
    GuideWindow& operator=(const GuideWindow&) = delete;

    static Posts Received() { return s_posts; }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == ENTRY_RESULT_MESSAGE) {
            s_posts.emplace_back(wParam, static_cast<uint32_t>(lParam));
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }

    HWND m_window = nullptr;
    static Posts s_posts;
};
Posts GuideWindow::s_posts;

// The test-mode controller with its entry keys reachable, as the working
// controller's extra keys reach them.
class EntryProbe : public CKeyTestCtrl {
public:
    EntryProbe() : CKeyTestCtrl(nullptr) {}
    void Keys(std::initializer_list<uint16_t> codes)
    {
        for (uint16_t code : codes) {
            RunNumericEntryKey(code, TEST_MODE_ENTRY_TIMEOUTS);
        }
    }
};

constexpr uint16_t D(int digit) { return static_cast<uint16_t>(ENTRY_DIGIT_0 + digit); }

// Keyboard reports (ID 3): consumer usage, digit bits.
std::vector<uint8_t> Consumer(uint16_t usage) { return {3, static_cast<uint8_t>(usage), static_cast<uint8_t>(usage >> 8), 0, 0, 0, 0}; }
std::vector<uint8_t> Digits(uint16_t bits) { return {3, 0, 0, 0, 0, static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8)}; }
const std::vector<uint8_t> NO_KEYS = {3, 0, 0, 0, 0, 0, 0};

constexpr uint16_t CH_INC = 156;
constexpr uint16_t CH_DEC = 157;
constexpr uint16_t FW = 179;
constexpr uint16_t RW = 180;

class NumericEntryProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetConfigStoreForTests();
        window = std::make_unique<MainWindowHost>();
        // The controller of a machine without settings.
        ASSERT_NE(dynamic_cast<CKeyTestCtrl*>(CMainCtrl::KeyController), nullptr);
        device.Info.Caps.InputReportByteLength = 7;
        device.Info.Input.Length = 7;
        device.Info.Input.Buffer = static_cast<uint8_t*>(std::calloc(7, 1));
    }
    void TearDown() override
    {
        window.reset();
        EndSettingTool();
        ResetConfigStoreForTests();
    }

    // A key press on the keyboard collection, and its release.
    void Press(const std::vector<uint8_t>& report)
    {
        Report(report);
        Report(NO_KEYS);
    }
    void Report(const std::vector<uint8_t>& report)
    {
        std::memset(device.Info.Input.Buffer, 0, 7);
        std::memcpy(device.Info.Input.Buffer, report.data(), std::min<size_t>(report.size(), 7));
        CMainCtrl::KeyController->ProcessReport(&device);
    }
    bool WaitForPosts(size_t count, DWORD timeoutMs = POST_TIMEOUT_MS)
    {
        return WaitUntil([&] { return GuideWindow::Received().size() >= count; }, timeoutMs);
    }
    EntryProbe* InstallProbe()
    {
        delete CMainCtrl::KeyController;
        auto* probe = new EntryProbe();
        CMainCtrl::KeyController = probe;
        return probe;
    }
    static void EndSettingTool()
    {
        HWND tool = FindWindowA(SETTING_TOOL_CLASS, nullptr);
        if (!tool) {
            return;
        }
        DWORD pid = 0;
        GetWindowThreadProcessId(tool, &pid);
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
        PostMessageA(tool, WM_CLOSE, 0, 0);
        if (process) {
            WaitForSingleObject(process, TOOL_TIMEOUT_MS);
            CloseHandle(process);
        }
    }
    std::vector<std::string> ToolEntries() const { return journal.Calls("PadTool.exe", "entry"); }

    RegistrySandbox registry;
    ProgramFilesSandbox programFiles;
    ScopedJournal journal;
    std::unique_ptr<MainWindowHost> window;
    CHidDevice device{nullptr};
};

TEST_F(NumericEntryProcessTest, KeyboardReportsDriveTheEntryAndTheTestWindowGetsEveryEnd)
{
    GuideWindow guide;
    // Length 4, then a second digit: test mode has no confirm key, so the
    // second digit is a second length.
    Press(Consumer(CH_INC));
    Press(Digits(8));
    Press(Digits(16));
    // A second start while one runs.
    Press(Consumer(CH_INC));
    Press(Consumer(CH_INC));
    // A pair, ended by a report of another kind and by a key that is no
    // entry key.
    Press(Consumer(FW));
    Report({2, 0x01, 0x00});
    Press(Consumer(CH_INC));
    Press({3, 0, 0, 0, 8, 0, 0});  // an application key
    // Finishes at the wrong moment; the key releases in between neither
    // cancel nor advance the entry.
    Press(Consumer(FW));
    Report(NO_KEYS);
    Press(Consumer(RW));
    Press(Consumer(CH_INC));
    Press(Consumer(CH_DEC));
    // Zero and the repeat key are no lengths.
    Press(Consumer(CH_INC));
    Press(Digits(62));
    Press(Consumer(FW));
    Press(Digits(63));
    // Nothing runs: no key or report posts anything.
    Report({2, 0x02, 0x00});
    Press(Consumer(CH_DEC));
    Press(Digits(1));
    const Posts expected = {
        {1, ENTRY_BAD_LENGTH}, {1, ENTRY_BUSY},       {2, ENTRY_CANCELLED},  {1, ENTRY_CANCELLED},
        {2, ENTRY_INCOMPLETE}, {1, ENTRY_INCOMPLETE}, {1, ENTRY_BAD_LENGTH}, {2, ENTRY_BAD_LENGTH},
    };
    ASSERT_TRUE(WaitForPosts(expected.size()));
    PumpFor(300);
    EXPECT_EQ(GuideWindow::Received(), expected);
}

TEST_F(NumericEntryProcessTest, TheEntryTimesOutOnceAfterTenSeconds)
{
    GuideWindow guide;
    const DWORD start = GetTickCount();
    Press(Consumer(CH_INC));
    Press(Digits(4));
    ASSERT_TRUE(WaitForPosts(1, 30000));
    EXPECT_GE(GetTickCount() - start, 9500u) << "test mode gives a single entry 10 s, not 5";
    PumpFor(1000);
    EXPECT_EQ(GuideWindow::Received(), (Posts{{1, ENTRY_TIMEOUT}}));
}

TEST_F(NumericEntryProcessTest, FinishedNumbersGoToTheSettingToolStartedFromProgramFiles)
{
    ASSERT_TRUE(programFiles.Put("PadTool", "PadTool.exe"));
    EntryProbe* keys = InstallProbe();
    ASSERT_EQ(FindWindowA(SETTING_TOOL_CLASS, nullptr), nullptr);
    keys->Keys({ENTRY_START_SINGLE, D(3), ENTRY_CONFIRM, D(1), D(0), D(2), ENTRY_FINISH_SINGLE});
    ASSERT_TRUE(WaitUntil([&] { return ToolEntries().size() >= 1; }, TOOL_TIMEOUT_MS));
    EXPECT_EQ(ToolEntries()[0], "PadTool.exe entry which=1 value=0x00000066");

    // A status does not go to the tool; the pair's values go in order, to
    // the tool already running.
    keys->Keys({ENTRY_START_PAIR, ENTRY_START_PAIR});
    keys->Keys({ENTRY_START_PAIR, D(1), ENTRY_CONFIRM, D(7), ENTRY_CONFIRM, D(2), ENTRY_CONFIRM, D(4), D(5),
                ENTRY_FINISH_PAIR});
    ASSERT_TRUE(WaitUntil([&] { return ToolEntries().size() >= 3; }, TOOL_TIMEOUT_MS));
    PumpFor(300);
    EXPECT_EQ(ToolEntries(), (std::vector<std::string>{"PadTool.exe entry which=1 value=0x00000066",
                                                       "PadTool.exe entry which=2 value=0x00000007",
                                                       "PadTool.exe entry which=1 value=0x0000002D"}));
    EXPECT_EQ(journal.Calls("PadTool.exe", "start").size(), 1u) << "started once";

    // With the navigation test window there, it takes the number instead.
    GuideWindow guide;
    keys->Keys({ENTRY_START_SINGLE, D(1), ENTRY_CONFIRM, D(8), ENTRY_FINISH_SINGLE});
    ASSERT_TRUE(WaitForPosts(1));
    EXPECT_EQ(GuideWindow::Received(), (Posts{{1, 8}}));
    EXPECT_EQ(ToolEntries().size(), 3u);
}

TEST_F(NumericEntryProcessTest, WithoutTheSettingToolAFinishedNumberIsDroppedAndTheEntryEnds)
{
    EntryProbe* keys = InstallProbe();
    keys->Keys({ENTRY_START_SINGLE, D(1), ENTRY_CONFIRM, D(8), ENTRY_FINISH_SINGLE});
    EXPECT_EQ(FindWindowA(SETTING_TOOL_CLASS, nullptr), nullptr);
    // The entry has ended: a new start runs, a second one is refused once.
    GuideWindow guide;
    keys->Keys({ENTRY_START_SINGLE, ENTRY_START_SINGLE});
    ASSERT_TRUE(WaitForPosts(1));
    PumpFor(300);
    EXPECT_EQ(GuideWindow::Received(), (Posts{{1, ENTRY_BUSY}}));
}

}  // namespace
