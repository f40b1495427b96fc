// The trays in kova.exe, watched from outside: the icons come and go with
// the receiver, and Exit from either menu, confirmed, ends the program in
// its own time.

#include "base/messages.h"
#include "config/controls.h"
#include "config/device_identities.h"
#include "hid/hid_backend.h"
#include "resources/resource.h"
#include "tests/hid/receiver_host.h"
#include "tests/tray/tray_world.h"

#include <thread>

namespace {

constexpr DWORD START_TIMEOUT_MS = 20000;
// Each watcher thread may take 5.5 s to end; the rest of the shut-down is quick.
constexpr DWORD SHUTDOWN_LIMIT_MS = 2 * 5500 + 2000;
// The remote tray's exit timer may be late on a busy machine, never this late.
constexpr DWORD EXIT_LIMIT_MS = 8000;
constexpr DWORD NO_ICON_WATCH_MS = 1000;

const std::string RECEIVER = PlugCommand(3, "0xFFBC", "0x88", "in=8 feature=4");

class TrayProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, DEVICE_IDENTITY_KEY, "ProductID1", TEST_PRODUCT);
        RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, DEVICE_IDENTITY_KEY, "VendorID1", TEST_VENDOR);
        for (const char* name : {"Icon", "Util_Enable", "Help_Enable", "Exit_Enable", "Tesk_Enable"}) {
            RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, CONTROLS_KEY, name, 1);
        }
        // No foreground key: the test posts keys to kova's menu.
        RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, CONTROLS_KEY, "Vk_ApFore", 0);
        RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, KEYBOARD_UTILITY_FLAG_KEY, KEYBOARD_UTILITY_FLAG, 1);
    }

    // Starts kova.exe with the receiver plugged in; returns its window and
    // the pictures of its two icons.
    HWND StartWithIcons(std::vector<TrayPicture>& icons)
    {
        std::vector<TrayPicture> before = SettledTrayPictures();
        EXPECT_TRUE(kova.Start(StagedPath("kova.exe"), "", {{VIRTUAL_RECEIVER_ENV, host.Instance()}}));
        // With the keyboard features the main window has the keyboard's class.
        HWND window = kova.WaitForWindow(KEYBOARD_WINDOW_CLASS, START_TIMEOUT_MS);
        EXPECT_NE(window, nullptr);
        EXPECT_TRUE(WaitForNewPicture(before, NO_ICON_WATCH_MS).empty()) << "no icon without a receiver";
        host.Run(RECEIVER);
        std::vector<TrayPicture> known = before;
        for (int i = 0; i < 2; ++i) {
            icons.push_back(WaitForNewPicture(known, TRAY_WAIT_MS));
            known.push_back(icons.back());
        }
        return window;
    }

    // Chooses Exit in the menu of an icon of kova.exe; the question's box,
    // left open.
    HWND AskToExit(HWND window, UINT iconId, const char* caption)
    {
        HWND box = nullptr;
        std::thread user([&] {
            HWND menu = WaitForMenu(TRAY_WAIT_MS, kova.Id());
            ASSERT_NE(menu, nullptr);
            ChooseMenuEntry(menu, 2);
            box = WaitForBox(caption);
        });
        PostMessageA(window, WM_TRAY_NOTIFY, iconId, WM_RBUTTONDOWN);
        user.join();
        return box;
    }

    // The same, answered Yes; the time of the answer.
    DWORD ExitFromMenu(HWND window, UINT iconId, const char* caption)
    {
        HWND box = AskToExit(window, iconId, caption);
        EXPECT_NE(box, nullptr);
        if (box) {
            ClickBoxButton(box, IDC_MSGBOX_BUTTON2);
        }
        return GetTickCount();
    }

    CleanOrlanRegistry clean;
    ReceiverHost host;
    ChildProcess kova;
};

TEST_F(TrayProcessTest, TheIconsShowWhileAReceiverIsOpenAndTheRemotesExitEndsTheProgramWithinFiveSeconds)
{
    std::vector<TrayPicture> icons;
    HWND window = StartWithIcons(icons);
    ASSERT_FALSE(icons[0].empty());
    ASSERT_FALSE(icons[1].empty());

    host.Run("unplug 3");
    EXPECT_TRUE(WaitForTrayCount(icons[0], 0));
    EXPECT_TRUE(WaitForTrayCount(icons[1], 0));
    host.Run(RECEIVER);
    EXPECT_TRUE(WaitForTrayCount(icons[0], 1));
    EXPECT_TRUE(WaitForTrayCount(icons[1], 1));

    DWORD confirmed = ExitFromMenu(window, TRAY_ICON_REMOTE, "Orlan TV Remote Controller.");
    EXPECT_TRUE(WaitUntil([&] { return FindBalloon() != nullptr; }, TRAY_WAIT_MS)) << "the balloon shows";
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(window); }, EXIT_LIMIT_MS));
    EXPECT_GE(GetTickCount() - confirmed, TRAY_EXIT_DELAY_MS - 200) << "not before its time";
    DWORD code = 0xFFFF;
    EXPECT_TRUE(kova.WaitForExit(SHUTDOWN_LIMIT_MS, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(WaitForTrayCount(icons[0], 0)) << "the icons go with the program";
    EXPECT_TRUE(WaitForTrayCount(icons[1], 0));
}

// The question runs a modal loop in which the window's messages keep coming:
// a request to end the program in there (the exit timer of an Exit confirmed
// before, or another program's WM_CLOSE) ends it cleanly, and the open box
// goes with it.
TEST_F(TrayProcessTest, AnOpenExitQuestionGoesWithTheProgram)
{
    struct Row {
        const char* name;
        UINT message;
        WPARAM wParam;
    };
    const Row rows[] = {{"the exit timer", WM_TIMER, IDT_EXIT}, {"WM_CLOSE from another program", WM_CLOSE, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(kova.Start(StagedPath("kova.exe"), "", {{VIRTUAL_RECEIVER_ENV, host.Instance()}}));
        HWND window = kova.WaitForWindow(KEYBOARD_WINDOW_CLASS, START_TIMEOUT_MS);
        ASSERT_NE(window, nullptr);
        HWND box = AskToExit(window, TRAY_ICON_REMOTE, "Orlan TV Remote Controller.");
        ASSERT_NE(box, nullptr);
        PostMessageA(window, row.message, row.wParam, 0);
        DWORD code = 0xFFFF;
        ASSERT_TRUE(kova.WaitForExit(SHUTDOWN_LIMIT_MS, &code));
        EXPECT_EQ(code, 0u) << "no controller was touched after it was deleted";
        EXPECT_FALSE(IsWindow(box));
    }
}

TEST_F(TrayProcessTest, TheKeyboardsExitEndsTheProgramAtOnce)
{
    std::vector<TrayPicture> icons;
    HWND window = StartWithIcons(icons);
    DWORD confirmed = ExitFromMenu(window, TRAY_ICON_KEYBOARD, "Orlan One-touch Start Buttons");
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(window); }, EXIT_LIMIT_MS));
    EXPECT_LT(GetTickCount() - confirmed, TRAY_EXIT_DELAY_MS) << "no delay";
    DWORD code = 0xFFFF;
    EXPECT_TRUE(kova.WaitForExit(SHUTDOWN_LIMIT_MS, &code));
    EXPECT_TRUE(WaitForTrayCount(icons[0], 0));
    EXPECT_TRUE(WaitForTrayCount(icons[1], 0));
}

}  // namespace
