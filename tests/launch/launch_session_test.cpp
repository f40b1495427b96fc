// The launcher and the sender where the whole session is involved: the named
// launcher mutex, and the window in front, which receives key presses and
// decides who is a target. Run with the serialized tests; those that need
// the window in front run alone.

#include "launch/lnch_ctrl.h"
#include "launch/send_ctrl.h"

#include "tests/launch/launch_world.h"
#include "tests/support/kova_process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

// ---- The launcher mutex ----

// The last launcher closes its handle of the mutex after its wait; a launch
// thread still waiting for the mutex then must go on with a handle of its
// own, release the mutex it took, stop without starting anything, and not
// be revived by launchers made meanwhile.
TEST(LaunchMutexTest, AThreadOutlivingTheLastLauncherUsesOnlyWhatItOwns)
{
    LaunchWorld world;
    const std::string lnk = world.Folder() + "\\late.lnk";
    ASSERT_TRUE(MakeShortcut(lnk, world.Program("late.exe"), "", world.Folder()));
    // Taken by waiting: when the mutex exists already, CreateMutex does not
    // make its caller the owner.
    HANDLE held = CreateMutexA(nullptr, FALSE, LAUNCH_MUTEX_NAME);
    ASSERT_NE(held, nullptr);
    ASSERT_EQ(WaitForSingleObject(held, LAUNCH_WAIT_MS), static_cast<DWORD>(WAIT_OBJECT_0));

    auto launcher = std::make_unique<TestLauncher>();
    LaunchWorld::Prepare(LAUNCH_MODE_SEQUENTIAL, 2, {lnk});
    launcher->ExecuteLaunchRequest();
    launcher.reset();
    EXPECT_EQ(ActiveLaunchThreads(), 1) << "the thread waits for the mutex past the last launcher";
    // Handles made meanwhile take the numbers of the closed ones: a thread
    // still using the launcher's handle would now release another object.
    HANDLE other = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    TestLauncher newcomer;

    ReleaseMutex(held);
    ASSERT_TRUE(WaitForLaunchThreads());
    EXPECT_EQ(WaitForSingleObject(held, 0), static_cast<DWORD>(WAIT_OBJECT_0)) << "released, not abandoned";
    ReleaseMutex(held);
    CloseHandle(held);
    CloseHandle(other);
    EXPECT_TRUE(world.Starts().empty()) << "the stopped thread started nothing";
}

// ---- Keys to the window in front ----

TEST(LaunchKeysTest, Mode4PressesEachCombinationIntoTheWindowInFront)
{
    LaunchWorld world;
    KeyFence fence = FrontWindow(world, "KovaKeysTarget");
    TestLauncher launcher;
    LaunchWorld::Prepare(LAUNCH_MODE_KEYS, 2, {});
    CLnchCtrl::Request.Count = 2;
    CLnchCtrl::Request.Keys[0] = 287130414;   // Ctrl+C
    CLnchCtrl::Request.Keys[1] = 0x743F0000;  // F5 alone
    launcher.ExecuteLaunchRequest();
    EXPECT_EQ(fence.NextKeys(), (std::vector<std::string>{"down 0x11 alt=0", "down 0x43 alt=0", "up 0x43 alt=0",
                                                          "up 0x11 alt=0", "down 0x74 alt=0", "up 0x74 alt=0"}));
}

TEST(LaunchKeysTest, TheForegroundKeyIsTappedBeforeEachStart)
{
    for (uint32_t foregroundKey : {0x87u, 0u}) {
        LaunchWorld world(foregroundKey);
        KeyFence fence = FrontWindow(world, "KovaForeground");
        TestLauncher launcher;
        LaunchWorld::Prepare(LAUNCH_MODE_MULTIPLE, 2, {world.Program("one.exe"), world.Program("two.exe")});
        launcher.ExecuteLaunchRequest();
        ASSERT_TRUE(world.WaitForStarts(2));
        ASSERT_TRUE(WaitForLaunchThreads());
        std::vector<std::string> expected;
        if (foregroundKey) {
            expected = {"down 0x87 alt=0", "up 0x87 alt=0", "down 0x87 alt=0", "up 0x87 alt=0"};
        }
        EXPECT_EQ(fence.NextKeys(), expected) << "Vk_ApFore " << foregroundKey;
    }
}

TEST(SendKeysTest, DigitBrowserAndCloseKeysGoOnlyWhereTheyBelong)
{
    LaunchWorld world;
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, CONTROLS_KEY, "NumCode_Enable", 1);
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, BROWSER_CLASSES_KEY, "IE1_Class", "KovaOtherBrowser");
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, BROWSER_CLASSES_KEY, "IE2_Class", "KovaBrowser");
    HWND browser = world.OpenWindow("/class=KovaBrowser");
    HWND other = world.OpenWindow("/class=KovaBrowserLike");
    ASSERT_NE(browser, nullptr);
    ASSERT_NE(other, nullptr);
    CSendCtrl sender;

    struct Case {
        HWND front;
        const char* className;
        void (*act)(CSendCtrl&);
        std::vector<std::string> keys;
    };
    const std::vector<std::string> none;
    const Case cases[] = {
        {browser, "KovaBrowser", [](CSendCtrl& s) { s.SendDigitKey(4, 1); }, {"down 0x33 alt=0", "up 0x33 alt=0"}},
        {browser, "KovaBrowser", [](CSendCtrl& s) { s.SendDigitKey(256, 1); }, {"down 0x39 alt=0", "up 0x39 alt=0"}},
        {browser, "KovaBrowser", [](CSendCtrl& s) { s.SendDigitKey(4, 0); }, none},
        {browser, "KovaBrowser", [](CSendCtrl& s) { s.SendDigitKey(3, 1); }, none},
        {browser, "KovaBrowser", [](CSendCtrl& s) { s.SendDigitKey(512, 1); }, none},
        {browser,
         "KovaBrowser",
         [](CSendCtrl& s) { s.SendBrowserCommand(2, 1); },
         {"down 0x12 alt=1", "down 0x27 alt=1", "up 0x27 alt=1", "up 0x12 alt=0"}},
        {browser,
         "KovaBrowser",
         [](CSendCtrl& s) { s.SendBrowserCommand(2, 2); },
         {"down 0x12 alt=1", "down 0x25 alt=1", "up 0x25 alt=1", "up 0x12 alt=0"}},
        {browser,
         "KovaBrowser",
         [](CSendCtrl& s) { s.SendBrowserCommand(2, 4); },
         {"down 0x1B alt=0", "up 0x1B alt=0"}},
        {browser,
         "KovaBrowser",
         [](CSendCtrl& s) { s.SendBrowserCommand(3, 194); },
         {"down 0x12 alt=1", "down 0x41 alt=1", "up 0x41 alt=1", "up 0x12 alt=0", "down 0x0D alt=0", "up 0x0D alt=0"}},
        {browser, "KovaBrowser", [](CSendCtrl& s) { s.SendBrowserCommand(2, 8); }, none},
        {browser, "KovaBrowser", [](CSendCtrl& s) { s.SendBrowserCommand(1, 1); }, none},
        {other, "KovaBrowserLike", [](CSendCtrl& s) { s.SendBrowserCommand(2, 2); }, none},
    };
    std::map<std::string, std::unique_ptr<KeyFence>> fences;
    for (const Case& c : cases) {
        ASSERT_TRUE(BringToFront(c.front));
        auto& fence = fences[c.className];
        if (!fence) {
            fence = std::make_unique<KeyFence>(world, c.className);
        }
        fence->NextKeys();
        c.act(sender);
        EXPECT_EQ(fence->NextKeys(), c.keys) << "row " << (&c - cases);
    }

    // Alt+F4 closes the window in front.
    ASSERT_TRUE(BringToFront(other));
    sender.CloseForegroundWindow();
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(other); }, LAUNCH_WAIT_MS));

    // Without NumCode_Enable the number buttons press nothing.
    ResetConfigStoreForTests();
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, CONTROLS_KEY, "NumCode_Enable", 0);
    CSendCtrl plain;
    ASSERT_TRUE(BringToFront(browser));
    KeyFence fence(world, "KovaBrowser");
    fence.NextKeys();
    plain.SendDigitKey(4, 1);
    EXPECT_EQ(fence.NextKeys(), none);
}

// ---- Messages to the targets ----

class SendTargetTest : public ::testing::Test {
protected:
    static void Configure(int n, const char* className, const char* title, uint32_t control, uint32_t message)
    {
        const std::string prefix = "Wnd" + std::to_string(n);
        RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, TARGET_WINDOWS_KEY, (prefix + "_Class").c_str(), className);
        if (title) {
            RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, TARGET_WINDOWS_KEY, (prefix + "_Title").c_str(), title);
        }
        RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, TARGET_WINDOWS_KEY, (prefix + "_Control").c_str(), control);
        RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, TARGET_WINDOWS_KEY, (prefix + "_Msg").c_str(), message);
    }
    static void Register(HWND window, uint8_t number, uint32_t message, uint32_t categories)
    {
        TargetWindowRegistration registration{};
        registration.hOwnerWnd = window;
        registration.ucId = number;
        registration.uMsg = message;
        registration.dwCtrl = categories;
        ASSERT_EQ(CConfig::RegisterTargetWindow(registration), 0);
    }

    void Fence(const std::map<std::string, HWND>& windows) { world.Fence(windows); }
    int Received(const std::string& className, UINT msg, unsigned long long lParam) const
    {
        return world.Received(className, msg, lParam);
    }

    LaunchWorld world;
};

// Who gets a command: the live entries of the mask's categories, and the
// target in front, once.
TEST_F(SendTargetTest, CommandsGoToTheCategoriesAndToTheTargetInFront)
{
    Configure(1, "KovaCatA", nullptr, 0x10000, 1);
    Configure(2, "KovaCatB", "Right", 0x20000, 2);
    Configure(3, "KovaFgOnly", nullptr, 0x10002, 3);
    Configure(4, "KovaNoTitle", nullptr, 0x10000, 4);
    std::map<std::string, HWND> windows = {
        {"KovaCatA", world.OpenWindow("/class=KovaCatA")},
        {"KovaCatB", world.OpenWindow("/class=KovaCatB /title=Right")},
        {"KovaCatBWrong", nullptr},
        {"KovaFgOnly", world.OpenWindow("/class=KovaFgOnly")},
        {"KovaNoTitle", world.OpenWindow("/class=KovaNoTitle /title=")},
        {"KovaRegistered", world.OpenWindow("/class=KovaRegistered")},
        {"KovaOutsider", world.OpenWindow("/class=KovaOutsider")},
    };
    // A window of a configured class with the wrong title, as a class of its
    // own for the journal: it is found by class and title only.
    Configure(5, "KovaCatBWrong", "Right", 0x20000, 5);
    windows["KovaCatBWrong"] = world.OpenWindow("/class=KovaCatBWrong /title=Wrong");
    HWND gone = world.OpenWindow("/class=KovaGone");
    for (const auto& [className, window] : windows) {
        ASSERT_NE(window, nullptr) << className;
    }
    ASSERT_NE(gone, nullptr);
    CSendCtrl sender;
    Register(windows["KovaRegistered"], 1, 6, 0x40000);
    Register(gone, 2, 7, 0x10000);
    PostMessageA(gone, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(gone); }, LAUNCH_WAIT_MS));

    struct Case {
        const char* front;
        uint16_t mask;
        BOOL frontIsTarget;
        std::vector<std::string> receivers;
    };
    const Case cases[] = {
        {"KovaCatA", 0x1, TRUE, {"KovaCatA", "KovaNoTitle"}},
        {"KovaCatA", 0x0, TRUE, {"KovaCatA"}},
        {"KovaOutsider", 0x0, FALSE, {}},
        {"KovaOutsider", 0x2, FALSE, {"KovaCatB"}},
        {"KovaCatBWrong", 0x2, FALSE, {"KovaCatB"}},
        {"KovaNoTitle", 0x0, FALSE, {}},
        {"KovaRegistered", 0x1, TRUE, {"KovaCatA", "KovaNoTitle", "KovaRegistered"}},
        {"KovaRegistered", 0x4, TRUE, {"KovaRegistered"}},
        {"KovaFgOnly", 0x4, TRUE, {"KovaRegistered"}},
        {"KovaFgOnly", 0x8, TRUE, {"KovaFgOnly"}},
        {"KovaOutsider", 0x7F, FALSE, {"KovaCatA", "KovaCatB", "KovaNoTitle", "KovaRegistered"}},
    };
    const std::map<std::string, UINT> messages = {
        {"KovaCatA", WM_APP + 1},     {"KovaCatB", WM_APP + 2},      {"KovaFgOnly", WM_APP + 3},
        {"KovaNoTitle", WM_APP + 4},  {"KovaCatBWrong", WM_APP + 5}, {"KovaRegistered", WM_APP + 6},
        {"KovaOutsider", WM_APP + 0},
    };
    for (const Case& c : cases) {
        const LPARAM command = 4000 + (&c - cases);
        ASSERT_TRUE(BringToFront(windows[c.front])) << c.front;
        EXPECT_EQ(sender.PostToTargets(c.mask, 0, command), c.frontIsTarget) << "row " << command;
        Fence(windows);
        std::vector<std::string> receivers;
        for (const auto& [className, message] : messages) {
            const int received = Received(className, message, static_cast<unsigned long long>(command));
            EXPECT_LE(received, 1) << className << " got row " << command << " twice";
            if (received) {
                receivers.push_back(className);
            }
        }
        EXPECT_EQ(receivers, c.receivers) << "row " << command << ", " << c.front << " in front";
    }
}

// The maximize request: SC_MAXIMIZE or SC_RESTORE to plain targets, the
// target's own message (lParam 10) to those that maximize themselves, and
// the window in front when it is no target.
TEST_F(SendTargetTest, MaximizeTogglesPlainTargetsAndAsksTheOthers)
{
    Configure(1, "KovaPlainMax", nullptr, 0x10000, 1);
    Configure(2, "KovaPlainNormal", nullptr, 0x10000, 2);
    Configure(3, "KovaOwnMax", nullptr, 0x10001, 3);
    std::map<std::string, HWND> windows = {
        {"KovaPlainMax", world.OpenWindow("/class=KovaPlainMax /show=max")},
        {"KovaPlainNormal", world.OpenWindow("/class=KovaPlainNormal")},
        {"KovaOwnMax", world.OpenWindow("/class=KovaOwnMax")},
        {"KovaFront", world.OpenWindow("/class=KovaFront")},
        {"KovaNoBox", world.OpenWindow("/class=KovaNoBox /nomaxbox")},
    };
    for (const auto& [className, window] : windows) {
        ASSERT_NE(window, nullptr) << className;
    }
    ASSERT_TRUE(IsZoomed(windows["KovaPlainMax"]));
    CSendCtrl sender;

    ASSERT_TRUE(BringToFront(windows["KovaFront"]));
    EXPECT_FALSE(sender.ToggleMaximizeTargets(0x1));
    Fence(windows);
    EXPECT_EQ(Received("KovaPlainMax", WM_SYSCOMMAND, 0), 1);
    EXPECT_TRUE(WaitUntil([&] { return !IsZoomed(windows["KovaPlainMax"]); }, LAUNCH_WAIT_MS)) << "restored";
    EXPECT_TRUE(WaitUntil([&] { return IsZoomed(windows["KovaPlainNormal"]) != FALSE; }, LAUNCH_WAIT_MS))
        << "maximized";
    EXPECT_TRUE(WaitUntil([&] { return IsZoomed(windows["KovaFront"]) != FALSE; }, LAUNCH_WAIT_MS))
        << "the window in front is no target and is toggled itself";
    EXPECT_EQ(Received("KovaOwnMax", WM_APP + 3, TARGET_MAXIMIZE_COMMAND), 1);
    EXPECT_EQ(Received("KovaOwnMax", WM_SYSCOMMAND, 0), 0) << "it maximizes itself";
    auto commands = [&](const char* className) {
        std::vector<unsigned long long> seen;
        for (const WindowEvent& e : world.WindowEvents(className)) {
            if (e.Kind == "message" && Number(e.Fields, "msg") == WM_SYSCOMMAND) {
                seen.push_back(Number(e.Fields, "wparam") & 0xFFF0);
            }
        }
        return seen;
    };
    using Commands = std::vector<unsigned long long>;
    EXPECT_EQ(commands("KovaPlainMax"), Commands{SC_RESTORE});
    EXPECT_EQ(commands("KovaPlainNormal"), Commands{SC_MAXIMIZE});

    // A window without a maximize box is left alone.
    ASSERT_TRUE(BringToFront(windows["KovaNoBox"]));
    EXPECT_FALSE(sender.ToggleMaximizeTargets(0x0));
    Fence(windows);
    EXPECT_TRUE(commands("KovaNoBox").empty());
}

}  // namespace
