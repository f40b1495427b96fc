// kovautil.exe as a real process, driven from outside by its controls' ids
// (texts typed, buttons clicked, list lines chosen), then the registry and
// kova.exe checked: one test per page's round trip and one per group of
// values that kova would not take.

#include "base/messages.h"
#include "base/scoped.h"
#include "config/controls.h"
#include "config/device_identities.h"
#include "config/onscreen_settings.h"
#include "config/target_window_table.h"
#include "launch/kova_lnch_ctrl.h"
#include "tests/core/hub_fixture.h"
#include "tests/hid/receiver_host.h"
#include "tests/support/journal_fields.h"
#include "tests/support/journal_reader.h"
#include "tests/support/kova_process.h"
#include "tests/support/registry_sandbox.h"
#include "util_resource.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr DWORD UTILITY_TIMEOUT_MS = 20000;
constexpr char UTILITY_TITLE[] = "KovaUtil";
// Pages in the order of the list on the left.
constexpr int PAGE_RECEIVERS = 0;
constexpr int PAGE_BUTTONS = 1;
constexpr int PAGE_PROFILES = 2;
constexpr int PAGE_WINDOWS = 3;
constexpr int PAGE_SETTINGS = 4;
constexpr int PAGE_IDS[] = {IDD_PAGE_RECEIVERS, IDD_PAGE_BUTTONS, IDD_PAGE_PROFILES, IDD_PAGE_WINDOWS,
                            IDD_PAGE_SETTINGS};

// The col03 collection of the classic receiver: the one kova reads.
const std::string RECEIVER_COL03 = PlugCommand(3, "0xffbc", "0x88", "in=8 feature=4");

// The utility's own texts, for comparing what it shows.
std::string UtilityText(UINT id)
{
    static HMODULE module = LoadLibraryExA(StagedPath("kovautil.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    char text[1024] = {};
    int length = LoadStringA(module, id, text, sizeof(text));
    return std::string(text, length > 0 ? static_cast<size_t>(length) : 0);
}

bool Contains(const std::vector<std::string>& lines, const std::string& part)
{
    for (const std::string& line : lines) {
        if (line.find(part) != std::string::npos) {
            return true;
        }
    }
    return false;
}

bool KeyExists(HKEY root, const char* path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

std::string StoredText(HKEY root, const char* path, const char* name, DWORD* type = nullptr)
{
    char text[1024] = {};
    DWORD size = sizeof(text) - 1;
    DWORD found = REG_NONE;
    if (RegGetValueA(root, path, name, RRF_RT_ANY | RRF_NOEXPAND, &found, text, &size) != ERROR_SUCCESS) {
        return "(none)";
    }
    if (type) {
        *type = found;
    }
    return text;
}

// The utility's window and its controls, found by id.
class Utility {
public:
    ~Utility() { process.Terminate(); }

    void Start()
    {
        // The utility of the test before goes with its process, which is
        // ended by force; until its window is gone, a new utility would
        // only bring that one forward and end.
        ASSERT_TRUE(WaitUntil([] { return FindWindowA(nullptr, UTILITY_TITLE) == nullptr; }, UTILITY_TIMEOUT_MS))
            << "a utility from before is still open";
        ASSERT_TRUE(process.Start(StagedPath("kovautil.exe"), ""));
        ASSERT_TRUE(WaitUntil([&] { return (frame = Find()) != nullptr || !process.IsRunning(); }, UTILITY_TIMEOUT_MS));
        ASSERT_NE(frame, nullptr) << "the utility did not show its window: " << WhyNoWindow();
    }

    // What stands in the way of the utility's window, for the failure.
    std::string WhyNoWindow()
    {
        std::string why;
        DWORD code = 0;
        if (process.IsRunning()) {
            why = "the utility still runs";
        } else if (GetExitCodeProcess(process.Handle(), &code)) {
            why = "the utility ended with " + std::to_string(code);
        }
        HWND other = FindWindowA(nullptr, UTILITY_TITLE);
        DWORD pid = 0;
        GetWindowThreadProcessId(other, &pid);
        char className[64] = {};
        GetClassNameA(other, className, sizeof(className));
        return why + (other ? "; a window of its title, class " + std::string(className) + ", belongs to process " +
                                  std::to_string(pid) + " (the utility is " + std::to_string(process.Id()) + ")"
                            : "; no window has its title");
    }

    HWND Find() const
    {
        HWND window = FindWindowA(nullptr, UTILITY_TITLE);
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        return window && pid == process.Id() && IsWindowVisible(window) ? window : nullptr;
    }

    HWND Control(int page, int id) const { return GetDlgItem(GetDlgItem(frame, PAGE_IDS[page]), id); }

    void ShowPage(int page)
    {
        SendDlgItemMessageA(frame, IDC_PAGE_LIST, LB_SETCURSEL, page, 0);
        SendMessageA(frame, WM_COMMAND, MAKEWPARAM(IDC_PAGE_LIST, LBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(GetDlgItem(frame, IDC_PAGE_LIST)));
        ASSERT_TRUE(IsWindowVisible(GetDlgItem(frame, PAGE_IDS[page])));
    }

    // Typing: the edit box reports the change to its page as it would for keys.
    void Type(int page, int id, const std::string& text)
    {
        SendMessageA(Control(page, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }

    // Returns once the click has been handled (no box may open from it).
    void Click(int page, int id) { SendMessageA(Control(page, id), BM_CLICK, 0, 0); }
    void ClickFrame(int id) { SendMessageA(GetDlgItem(frame, id), BM_CLICK, 0, 0); }
    // For a click that may open a box: returns at once.
    void PostClickFrame(int id) { PostMessageA(GetDlgItem(frame, id), BM_CLICK, 0, 0); }

    // Choosing a line, as a click on it does.
    void Choose(int page, int id, int index)
    {
        HWND list = Control(page, id);
        SendMessageA(list, LB_SETCURSEL, index, 0);
        SendMessageA(GetParent(list), WM_COMMAND, MAKEWPARAM(id, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    }

    // Choosing a line of a drop-down list.
    void Pick(int page, int id, int index)
    {
        HWND box = Control(page, id);
        SendMessageA(box, CB_SETCURSEL, index, 0);
        SendMessageA(GetParent(box), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(box));
    }

    // A new launch profile of the remote: its number's line, name, mode M and
    // one program entry.
    void MakeProfile(int profile, const std::string& name, const std::string& program, const std::string& params)
    {
        Pick(PAGE_PROFILES, IDC_PRF_WHICH, profile - 1);
        Type(PAGE_PROFILES, IDC_PRF_NAME, name);
        Pick(PAGE_PROFILES, IDC_PRF_MODE, 0);
        Type(PAGE_PROFILES, IDC_PRF_PATH, program);
        Type(PAGE_PROFILES, IDC_PRF_PARAMS, params);
        Click(PAGE_PROFILES, IDC_PRF_ADD);
    }

    static std::vector<std::string> Lines(HWND list)
    {
        std::vector<std::string> lines;
        int count = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            // Asked for in UTF-16: Wine hands a list box's line to another
            // process as the control stores it, without making it ANSI.
            wchar_t wide[2048] = {};
            char line[4096] = {};
            if (SendMessageW(list, LB_GETTEXTLEN, i, 0) < static_cast<LRESULT>(std::size(wide))) {
                SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(wide));
                WideCharToMultiByte(CP_ACP, 0, wide, -1, line, sizeof(line) - 1, nullptr, nullptr);
            }
            lines.push_back(line);
        }
        return lines;
    }
    std::vector<std::string> Lines(int page, int id) const { return Lines(Control(page, id)); }
    // A list's lines for a failure message.
    std::string Shown(int page, int id) const
    {
        std::string all;
        for (const std::string& line : Lines(page, id)) {
            all += line + "\n";
        }
        return all;
    }
    std::vector<std::string> Problems() const { return Lines(GetDlgItem(frame, IDC_PROBLEMS)); }

    std::string Text(int page, int id) const
    {
        char text[1024] = {};
        SendMessageA(Control(page, id), WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text));
        return text;
    }

    int FindLine(int page, int id, const std::string& part) const
    {
        std::vector<std::string> lines = Lines(page, id);
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].find(part) != std::string::npos) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }

    // A message box of the utility, once it shows.
    HWND WaitForBox() const
    {
        HWND box = nullptr;
        WaitUntil(
            [&] {
                box = nullptr;
                while ((box = FindWindowExA(nullptr, box, "#32770", nullptr)) != nullptr) {
                    DWORD pid = 0;
                    GetWindowThreadProcessId(box, &pid);
                    if (pid == process.Id() && box != frame && IsWindowVisible(box)) {
                        return true;
                    }
                }
                return false;
            },
            UTILITY_TIMEOUT_MS);
        return box;
    }

    bool WaitClosed() { return process.WaitForExit(UTILITY_TIMEOUT_MS, nullptr); }

    ChildProcess process;
    HWND frame = nullptr;
};

class UtilityTest : public ::testing::Test {
protected:
    // The utility on its button-test page, reading the classic receiver.
    void StartOnButtonTest()
    {
        AddTestReceiverIdentity();
        host.Run(RECEIVER_COL03);
        utility.Start();
        utility.ShowPage(PAGE_BUTTONS);
        ASSERT_TRUE(host.WaitForEvents("opened 3 handle", 1, UTILITY_TIMEOUT_MS));
    }

    CleanOrlanRegistry clean;
    ReceiverHost host;
    Utility utility;
};

TEST_F(UtilityTest, ReceiversPageShowsWhichCollectionsKovaWouldOpenAndSavesTheIdentity)
{
    host.Run(RECEIVER_COL03);
    host.Run(PlugCommand(1, "0x0001", "0x06", "in=9 feature=0"));
    utility.Start();
    // col03 has a receiver's usage but no identity yet; col01 is a keyboard part.
    const std::string col03 = "0BDA/0150  FFBC:0088";
    const std::string col01 = "0BDA/0150  0001:0006";
    EXPECT_TRUE(Contains(utility.Lines(PAGE_RECEIVERS, IDC_RCV_PRESENT),
                         col03 + "  " + UtilityText(IDS_PRESENT_NO_IDENTITY)));
    EXPECT_TRUE(Contains(utility.Lines(PAGE_RECEIVERS, IDC_RCV_PRESENT),
                         col01 + "  " + UtilityText(IDS_PRESENT_NOT_RECEIVER)))
        << utility.Shown(PAGE_RECEIVERS, IDC_RCV_PRESENT);

    utility.Type(PAGE_RECEIVERS, IDC_RCV_VENDOR, "0x0bda");
    utility.Type(PAGE_RECEIVERS, IDC_RCV_PRODUCT, "336");
    utility.Click(PAGE_RECEIVERS, IDC_RCV_ADD);
    // The check after the change runs kova's loaders on the new table.
    EXPECT_TRUE(WaitUntil([&] {
        return Contains(utility.Lines(PAGE_RECEIVERS, IDC_RCV_PRESENT), col03 + "  " + UtilityText(IDS_PRESENT_MATCH));
    }));

    utility.ClickFrame(IDOK);
    ASSERT_TRUE(utility.WaitClosed());
    uint32_t vendor = 0;
    uint32_t product = 0;
    DWORD type = REG_NONE;
    EXPECT_TRUE(RegistrySandbox::GetDword(HKEY_LOCAL_MACHINE, DEVICE_IDENTITY_KEY, "VendorID1", &vendor, &type));
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_TRUE(RegistrySandbox::GetDword(HKEY_LOCAL_MACHINE, DEVICE_IDENTITY_KEY, "ProductID1", &product));
    EXPECT_EQ(vendor, TEST_VENDOR);
    EXPECT_EQ(product, TEST_PRODUCT);
    // Nothing but what changed: no path word, no other key.
    EXPECT_FALSE(RegistrySandbox::ValueExists(HKEY_LOCAL_MACHINE, DEVICE_IDENTITY_KEY, "ChkPathWord1"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, CONTROLS_KEY));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, TARGET_WINDOWS_KEY));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, ONSCREEN_USER_KEY));
}

TEST_F(UtilityTest, ButtonTestShowsTheNameAndCodeOfEachPress)
{
    ASSERT_NO_FATAL_FAILURE(StartOnButtonTest());

    struct Press {
        const char* report;
        const char* name;
        const char* code;
    };
    const Press presses[] = {
        {"02 01 00 00 00 00 00 00", "NextTrack", "OnRemoteButton  1 (0x1)"},
        {"03 cd 00 00 00 00 00 00", "Play/Pause", "OnConsumerKey  205 (0xCD)"},
        {"04 0d 00 00 00 00 00 00", "MCE Start", "OnMediaCenterKey  13 (0xD)"},
    };
    for (const Press& press : presses) {
        SCOPED_TRACE(press.name);
        host.Run(std::string("send 3 ") + press.report);
        EXPECT_TRUE(WaitUntil([&] { return utility.Text(PAGE_BUTTONS, IDC_BTN_NAME) == press.name; }));
        EXPECT_EQ(utility.Text(PAGE_BUTTONS, IDC_BTN_CODE).rfind(press.code, 0), 0u)
            << utility.Text(PAGE_BUTTONS, IDC_BTN_CODE);
    }
    // A report of zeros releases the held key: the release shows in the list.
    host.Run("send 3 04 00 00 00 00 00 00 00");
    EXPECT_TRUE(WaitUntil([&] {
        std::vector<std::string> log = utility.Lines(PAGE_BUTTONS, IDC_BTN_LOG);
        return !log.empty() && log.front().find("MCE Start") == 0 &&
               log.front().find(UtilityText(IDS_RELEASED)) != std::string::npos;
    })) << utility.Shown(PAGE_BUTTONS, IDC_BTN_LOG) << UtilityText(IDS_RELEASED);
    utility.ClickFrame(IDCANCEL);
    EXPECT_TRUE(utility.WaitClosed());
}

// The utility's text id with its printf arguments, as the page fills it in.
template <typename... Args>
std::string UtilityFormat(UINT id, Args... args)
{
    char text[1024] = {};
    std::snprintf(text, sizeof(text), UtilityText(id).c_str(), args...);
    return text;
}

TEST_F(UtilityTest, ButtonTestSaysWhatKovaWouldDoWithEachPressOnAConfiguredMachine)
{
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, CONTROLS_KEY, "Test_Mode", 0);
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, LAUNCH_PROFILES_KEY, "Btn2_Name", "DVD");
    ASSERT_NO_FATAL_FAILURE(StartOnButtonTest());

    struct Press {
        const char* report;
        const char* name;
        std::string does;
    };
    const std::string dvdCommand = UtilityFormat(IDS_DOES_POST, "0", 4105ul);
    const std::string dvdLaunch = UtilityFormat(IDS_DOES_LAUNCH, 2, "DVD");
    const Press presses[] = {
        // A row of the media-center table: its command to category 0.
        {"04 0d 00 00 00 00 00 00", "MCE Start", UtilityFormat(IDS_DOES_POST, "0", 4109ul)},
        // The DVD application key: the command, then the launch of its named profile.
        {"03 00 00 00 02 00 00 00", "DVD", UtilityFormat(IDS_DOES_JOIN, dvdCommand.c_str(), dvdLaunch.c_str())},
        {"02 10 00 00 00 00 00 00", "volume up", UtilityText(IDS_DOES_VOLUME_UP)},
        // The night-mode key posts its command while BSFlags is not 1.
        {"05 5b 00 00 00 00 00 00", "extra key 91", UtilityFormat(IDS_DOES_POST, "5", 52ul)},
        // Play/Pause has no row on a configured machine.
        {"03 cd 00 00 00 00 00 00", "Play/Pause", UtilityText(IDS_DOES_NOTHING)},
    };
    for (const Press& press : presses) {
        SCOPED_TRACE(press.name);
        ASSERT_FALSE(press.does.empty());
        host.Run(std::string("send 3 ") + press.report);
        EXPECT_TRUE(WaitUntil([&] { return utility.Text(PAGE_BUTTONS, IDC_BTN_ACTION) == press.does; }))
            << utility.Text(PAGE_BUTTONS, IDC_BTN_NAME) << ": " << utility.Text(PAGE_BUTTONS, IDC_BTN_ACTION);
        host.Run(std::string("send 3 ") + std::string(press.report).substr(0, 2) + " 00 00 00 00 00 00 00");
    }
    utility.ClickFrame(IDCANCEL);
    EXPECT_TRUE(utility.WaitClosed());
}

TEST_F(UtilityTest, TargetWindowTakenFromAnOpenWindowIsSaved)
{
    ChildProcess player;
    ASSERT_TRUE(player.Start(StagedPath("msgwin.exe"), "/class=DemoPlayer /title=Demo"));
    ASSERT_NE(player.WaitForWindow("DemoPlayer", UTILITY_TIMEOUT_MS), nullptr);
    utility.Start();
    utility.ShowPage(PAGE_WINDOWS);
    int line = utility.FindLine(PAGE_WINDOWS, IDC_WND_OPEN, "DemoPlayer  -  Demo");
    ASSERT_GE(line, 0) << utility.Shown(PAGE_WINDOWS, IDC_WND_OPEN);
    utility.Choose(PAGE_WINDOWS, IDC_WND_OPEN, line);
    utility.Click(PAGE_WINDOWS, IDC_WND_PICK);
    EXPECT_EQ(utility.Text(PAGE_WINDOWS, IDC_WND_CLASS), "DemoPlayer");
    EXPECT_EQ(utility.Text(PAGE_WINDOWS, IDC_WND_TITLE), "Demo");
    utility.Type(PAGE_WINDOWS, IDC_WND_MSG, "5");
    utility.Click(PAGE_WINDOWS, IDC_WND_CATEGORY0);
    utility.Click(PAGE_WINDOWS, IDC_WND_ADD);
    utility.ClickFrame(IDOK);
    ASSERT_TRUE(utility.WaitClosed());

    EXPECT_EQ(StoredText(HKEY_LOCAL_MACHINE, TARGET_WINDOWS_KEY, "Wnd1_Class"), "DemoPlayer");
    EXPECT_EQ(StoredText(HKEY_LOCAL_MACHINE, TARGET_WINDOWS_KEY, "Wnd1_Title"), "Demo");
    uint32_t control = 0;
    uint32_t message = 0;
    EXPECT_TRUE(RegistrySandbox::GetDword(HKEY_LOCAL_MACHINE, TARGET_WINDOWS_KEY, "Wnd1_Control", &control));
    EXPECT_TRUE(RegistrySandbox::GetDword(HKEY_LOCAL_MACHINE, TARGET_WINDOWS_KEY, "Wnd1_Msg", &message));
    EXPECT_EQ(control, 0x10000u);
    EXPECT_EQ(message, 5u);
    EXPECT_FALSE(RegistrySandbox::ValueExists(HKEY_LOCAL_MACHINE, TARGET_WINDOWS_KEY, "Wnd2_Class"));
}

TEST_F(UtilityTest, SettingsAreSavedAloneAndKovaRestartsForThoseItReadsAtStart)
{
    AddTestReceiverIdentity();
    // A value kova ignores (a number stored as text) that the person does
    // not touch: it stays as it is.
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, CONTROLS_KEY, "Fmode", "5");
    ChildProcess kova;
    ASSERT_TRUE(kova.Start(StagedPath("kova.exe"), ""));
    HWND before = kova.WaitForWindow(MAIN_WINDOW_CLASS, UTILITY_TIMEOUT_MS);
    ASSERT_NE(before, nullptr);

    utility.Start();
    utility.ShowPage(PAGE_SETTINGS);
    int row = utility.FindLine(PAGE_SETTINGS, IDC_SET_CONTROLS, "Test_Mode = 1");
    ASSERT_GE(row, 0) << utility.Shown(PAGE_SETTINGS, IDC_SET_CONTROLS);
    utility.Choose(PAGE_SETTINGS, IDC_SET_CONTROLS, row);
    EXPECT_EQ(utility.Text(PAGE_SETTINGS, IDC_SET_VALUE), "1");
    utility.Type(PAGE_SETTINGS, IDC_SET_VALUE, "0");
    utility.Click(PAGE_SETTINGS, IDC_SET_STORE);
    utility.Type(PAGE_SETTINGS, IDC_OSD_TIME, "5");
    EXPECT_TRUE(WaitUntil([&] { return Contains(utility.Lines(PAGE_SETTINGS, IDC_SET_CONTROLS), "Test_Mode = 0"); }));

    // Test_Mode is read at start: the utility offers to restart kova.
    utility.PostClickFrame(IDC_APPLY);
    HWND question = utility.WaitForBox();
    ASSERT_NE(question, nullptr);
    PostMessageA(question, WM_COMMAND, IDYES, 0);
    ASSERT_TRUE(kova.WaitForExit(UTILITY_TIMEOUT_MS, nullptr)) << "the running kova was not ended";
    HWND after = nullptr;
    EXPECT_TRUE(WaitUntil([&] { return (after = FindWindowA(MAIN_WINDOW_CLASS, nullptr)) != nullptr; },
                          UTILITY_TIMEOUT_MS))
        << "kova was not started again";

    uint32_t testMode = 1;
    uint32_t time = 0;
    EXPECT_TRUE(RegistrySandbox::GetDword(HKEY_LOCAL_MACHINE, CONTROLS_KEY, "Test_Mode", &testMode));
    EXPECT_EQ(testMode, 0u);
    EXPECT_TRUE(RegistrySandbox::GetDword(HKEY_CURRENT_USER, ONSCREEN_USER_KEY, "Time", &time));
    EXPECT_EQ(time, 5u);
    DWORD type = REG_NONE;
    EXPECT_EQ(StoredText(HKEY_LOCAL_MACHINE, CONTROLS_KEY, "Fmode", &type), "5");
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    for (const char* untouched : {"Icon", "ApResume", "Util_Enable"}) {
        EXPECT_FALSE(RegistrySandbox::ValueExists(HKEY_LOCAL_MACHINE, CONTROLS_KEY, untouched)) << untouched;
    }
    for (const char* untouched : {"Color", "Size", "FontFace", "OnScreen"}) {
        EXPECT_FALSE(RegistrySandbox::ValueExists(HKEY_CURRENT_USER, ONSCREEN_USER_KEY, untouched)) << untouched;
    }

    utility.ClickFrame(IDCANCEL);
    EXPECT_TRUE(utility.WaitClosed());
    if (after) {
        DWORD pid = 0;
        GetWindowThreadProcessId(after, &pid);
        PostMessageA(after, WM_CLOSE, 0, 0);
        ScopedHandle restarted(OpenProcess(SYNCHRONIZE, FALSE, pid));
        EXPECT_EQ(WaitForSingleObject(restarted.get(), UTILITY_TIMEOUT_MS), WAIT_OBJECT_0);
    }
}

TEST_F(UtilityTest, LaunchProfileMadeOnTheRemoteButtonsPageIsStoredAsKovaLoadsIt)
{
    const std::string program = StagedPath("msgwin.exe");
    utility.Start();
    utility.ShowPage(PAGE_PROFILES);
    utility.MakeProfile(3, "Player", program, "/class=DemoPlayer");
    // kova's own profile loader, run by the utility over what it would write.
    EXPECT_TRUE(WaitUntil([&] { return utility.Text(PAGE_PROFILES, IDC_PRF_STATE) == UtilityText(IDS_PROFILE_USABLE); }))
        << utility.Text(PAGE_PROFILES, IDC_PRF_STATE);
    utility.ClickFrame(IDOK);
    ASSERT_TRUE(utility.WaitClosed());

    const struct {
        const char* name;
        std::string text;
    } stored[] = {{"Btn3_Name", "Player"},
                  {"Btn3_Exec", "M"},
                  {"Btn3_NumAp", "1"},
                  {"Btn3_AP1", program + "|/class=DemoPlayer"}};
    for (const auto& value : stored) {
        DWORD type = REG_NONE;
        EXPECT_EQ(StoredText(HKEY_LOCAL_MACHINE, LAUNCH_PROFILES_KEY, value.name, &type), value.text) << value.name;
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ)) << value.name;
    }
    // No folder was given, and no other profile was touched.
    EXPECT_FALSE(RegistrySandbox::ValueExists(HKEY_LOCAL_MACHINE, LAUNCH_PROFILES_KEY, "Btn3_Work1"));
    EXPECT_FALSE(RegistrySandbox::ValueExists(HKEY_LOCAL_MACHINE, LAUNCH_PROFILES_KEY, "Btn1_Name"));
}

TEST_F(UtilityTest, ProfileMadeInTheUtilityLaunchesThroughKovaAtThePressOfItsButton)
{
    ScopedJournal journal;
    // Copies of the launch stand-in, which journal their start and go after
    // a few seconds.
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof(temp), temp);
    const std::string folder = std::string(temp) + "kova-util-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string first = folder + "\\first.exe";
    const std::string player = folder + "\\player.exe";
    for (const std::string& path : {first, player}) {
        ASSERT_TRUE(CopyFileA(StagedPath("launchstub.exe").c_str(), path.c_str(), FALSE)) << path;
    }
    SetEnvironmentVariableA("KOVA_LAUNCHSTUB_EXIT_AFTER", "3000");
    AddTestReceiverIdentity();
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, CONTROLS_KEY, "Test_Mode", 0);
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, CONTROLS_KEY, "Vk_ApFore", 0);

    // Profile 2, the DVD button's, from nothing.
    utility.Start();
    utility.ShowPage(PAGE_PROFILES);
    utility.MakeProfile(2, "DVD", first, "");
    utility.Type(PAGE_PROFILES, IDC_PRF_PATH, player);
    utility.Type(PAGE_PROFILES, IDC_PRF_PARAMS, "/play");
    utility.Click(PAGE_PROFILES, IDC_PRF_ADD);
    utility.ClickFrame(IDOK);
    ASSERT_TRUE(utility.WaitClosed());

    host.Run(RECEIVER_COL03);
    ChildProcess kova;
    ASSERT_TRUE(kova.Start(StagedPath("kova.exe"), ""));
    HWND window = kova.WaitForWindow(MAIN_WINDOW_CLASS, UTILITY_TIMEOUT_MS);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(host.WaitForEvents("opened 3 handle", 1, UTILITY_TIMEOUT_MS));
    // The DVD key of the keyboard report.
    host.Run("send 3 03 00 00 00 02 00 00 00");
    host.Run("send 3 03 00 00 00 00 00 00 00");
    // The installed AltRunner takes the first entry's place with the
    // profile's number; the second entry follows a second later.
    auto starts = [&] {
        std::vector<std::string> names;
        for (const std::string& line : journal.Lines()) {
            size_t space = line.find(' ');
            if (space != std::string::npos && line.compare(space + 1, 6, "start ") == 0) {
                names.push_back(line.substr(0, space) + " " + ParseJournalFields(line)["args"]);
            }
        }
        return names;
    };
    EXPECT_TRUE(WaitUntil([&] { return Contains(starts(), "player.exe /play"); }, UTILITY_TIMEOUT_MS));
    EXPECT_TRUE(Contains(starts(), "AltRunner.exe /1"));

    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(kova.WaitForExit(UTILITY_TIMEOUT_MS, nullptr));
    SetEnvironmentVariableA("KOVA_LAUNCHSTUB_EXIT_AFTER", nullptr);
}

TEST_F(UtilityTest, ValuesKovaWouldNotTakeAreRefusedWithTheirReasonAndNothingIsWritten)
{
    struct Row {
        const char* what;
        int page;
        std::function<void(Utility&)> edit;
        HKEY root;
        const char* key;
        std::string reason;
    };
    const std::string longClass(600, 'c');
    char missing[512];
    std::snprintf(missing, sizeof(missing), UtilityText(IDS_WHY_NOT_FOUND).c_str(), 1, "C:\\nowhere\\player.exe");
    char unusable[1024];
    std::snprintf(unusable, sizeof(unusable), UtilityText(IDS_PROFILE_UNUSABLE).c_str(), missing);
    const Row rows[] = {
        {"a number out of the loader's range", PAGE_SETTINGS,
         [](Utility& u) {
             u.Choose(PAGE_SETTINGS, IDC_SET_CONTROLS, u.FindLine(PAGE_SETTINGS, IDC_SET_CONTROLS, "Icon = "));
             u.Type(PAGE_SETTINGS, IDC_SET_VALUE, "3");
             u.Click(PAGE_SETTINGS, IDC_SET_STORE);
         },
         HKEY_LOCAL_MACHINE, CONTROLS_KEY, "Controls\\Icon: stored 3 ignored: accepted 0 to 2 (above reads as 0)"},
        {"an on-screen number out of range", PAGE_SETTINGS,
         [](Utility& u) { u.Type(PAGE_SETTINGS, IDC_OSD_SIZE, "101"); }, HKEY_CURRENT_USER, ONSCREEN_USER_KEY,
         "OnScreen\\Size: stored 101 ignored: accepted 1 to 100 (else 3)"},
        {"a text longer than its group takes", PAGE_WINDOWS,
         [&](Utility& u) {
             u.Type(PAGE_WINDOWS, IDC_WND_CLASS, longClass);
             u.Click(PAGE_WINDOWS, IDC_WND_ADD);
         },
         HKEY_LOCAL_MACHINE, TARGET_WINDOWS_KEY,
         "Window\\Wnd1_Class: stored text of 600 characters ignored: longer than 520"},
        {"a text that is empty once trimmed ends the list", PAGE_WINDOWS,
         [&](Utility& u) {
             u.Type(PAGE_WINDOWS, IDC_WND_CLASS, "  \t");
             u.Type(PAGE_WINDOWS, IDC_WND_TITLE, "Title");
             u.Click(PAGE_WINDOWS, IDC_WND_ADD);
         },
         HKEY_LOCAL_MACHINE, TARGET_WINDOWS_KEY, "Window\\Wnd1_Title: not read: the list ends before it"},
        {"a launch profile whose program is not found", PAGE_PROFILES,
         [](Utility& u) { u.MakeProfile(3, "Player", "C:\\nowhere\\player.exe", ""); }, HKEY_LOCAL_MACHINE,
         LAUNCH_PROFILES_KEY, std::string("Default\\Btn3_Name: ") + unusable},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Utility u;
        u.Start();
        u.ShowPage(row.page);
        row.edit(u);
        // OK checks first; with a value refused it writes nothing and stays.
        u.ClickFrame(IDOK);
        EXPECT_TRUE(Contains(u.Problems(), row.reason)) << (u.Problems().empty() ? "" : u.Problems().front());
        EXPECT_NE(u.Find(), nullptr) << "the utility closed";
        EXPECT_FALSE(KeyExists(row.root, row.key));
        // Cancel leaves too without writing.
        u.ClickFrame(IDCANCEL);
        EXPECT_TRUE(u.WaitClosed());
        EXPECT_FALSE(KeyExists(row.root, row.key));
    }
}

}  // namespace
