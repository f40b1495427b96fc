// Stopping the program from either tray, driven like a user: Exit chosen in
// the menu, the question answered by clicking its buttons, clicks on the
// icons while it is open, and what each answer leaves behind.

#include "tests/tray/tray_world.h"

#include "base/messages.h"
#include "core/message_box.h"
#include "resources/resource.h"

#include <string>

namespace {

constexpr int EXIT_POSITION = 2;
constexpr int NO_BUTTON = IDC_MSGBOX_BUTTON1;
constexpr int YES_BUTTON = IDC_MSGBOX_BUTTON2;
constexpr char REMOTE_CAPTION[] = "Orlan TV Remote Controller.";
constexpr char KEYBOARD_CAPTION[] = "Orlan One-touch Start Buttons";
// The exit timer may be late on a busy machine, never this late.
constexpr DWORD EXIT_TIMER_LIMIT_MS = 8000;
constexpr DWORD SEND_LIMIT_MS = 5000;

class TrayExitTest : public TrayWorld {
protected:
    // Shows both icons; the remote's picture goes to m_remoteIcon.
    void SetUpRemote()
    {
        SetControl("Icon", 1);
        SetControl("Util_Enable", 1);
        SetControl("Help_Enable", 1);
        SetControl("Exit_Enable", 1);
        SetControl("Tip_Enable", 1);
        EnableKeyboardTray();
        CreateTrays();
        m_remoteIcon = ShowAndSee(*m_remote);
        m_keyboard->ShowIcon();
    }

    TrayPicture m_remoteIcon;

    // Chooses Exit in an icon's menu; whileAsked(box) runs while the
    // question is on screen and answers it.
    void ChooseExit(UINT iconId, const char* caption, const std::function<void(HWND)>& whileAsked)
    {
        Notify(iconId, WM_RBUTTONDOWN, [&] {
            HWND menu = WaitForMenu();
            ASSERT_NE(menu, nullptr);
            ChooseMenuEntry(menu, EXIT_POSITION);
            HWND box = WaitForBox(caption);
            ASSERT_NE(box, nullptr);
            whileAsked(box);
        });
    }

    // An icon message sent while the question's own loop runs; false when
    // it did not come back (a menu or another box holds it).
    bool SendQuickly(UINT iconId, UINT mouseMessage)
    {
        DWORD_PTR result = 0;
        return SendMessageTimeoutA(m_main, WM_TRAY_NOTIFY, iconId, mouseMessage, SMTO_NORMAL, SEND_LIMIT_MS, &result) != 0;
    }
};

TEST_F(TrayExitTest, NoLeavesEverythingAsItWasAndTheIconsIgnoreClicksMeanwhile)
{
    // The test looks at the window in front: ctest runs it alone.
    SetUpRemote();
    ChooseExit(TRAY_ICON_REMOTE, REMOTE_CAPTION, [&](HWND box) {
        // Opened only now (an open utility grays Exit), behind the question.
        StandInWindow utility("KovaTestUtility", "KovaUtil");
        SetForegroundWindow(box);
        EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == box; }, TRAY_WAIT_MS));
        EXPECT_EQ(BoxText(box), "Stop the Orlan Remote Controller.\nContinue?");
        EXPECT_EQ(GetMessageBoxWindow(MSGBOX_SLOT_EXIT_QUESTION), box);
        EXPECT_TRUE(CTrayControl::ExitQuestionOpen);

        // Menus, double clicks and the click that ends the program do nothing
        // on either icon while the question is open.
        for (UINT iconId : {TRAY_ICON_REMOTE, TRAY_ICON_KEYBOARD}) {
            EXPECT_TRUE(SendQuickly(iconId, WM_RBUTTONDOWN)) << "no menu under the question";
            EXPECT_TRUE(SendQuickly(iconId, WM_LBUTTONDBLCLK));
            EXPECT_TRUE(SendQuickly(iconId, WM_LBUTTONDOWN));
        }
        EXPECT_EQ(GetForegroundWindow(), box) << "the utility was not brought forward";
        ClickBoxButton(box, NO_BUTTON);
    });

    EXPECT_FALSE(CTrayControl::ExitQuestionOpen);
    EXPECT_FALSE(m_remote->IsExitPending());
    EXPECT_EQ(s_closeCount, 0);
    EXPECT_FALSE(KillTimer(m_main, IDT_EXIT)) << "no exit timer runs";
    EXPECT_TRUE(ShellHasIcon(m_main, TRAY_ICON_REMOTE));
    EXPECT_TRUE(ShellHasIcon(m_main, TRAY_ICON_KEYBOARD));

    // A left click still does nothing, and the menu works again.
    Notify(TRAY_ICON_REMOTE, WM_LBUTTONDOWN);
    EXPECT_EQ(s_closeCount, 0);
    Notify(TRAY_ICON_REMOTE, WM_RBUTTONDOWN, [] {
        HWND menu = WaitForMenu();
        ASSERT_NE(menu, nullptr);
        DismissMenu(menu);
    });
}

TEST_F(TrayExitTest, YesShowsTheBalloonAndTheExitTimerEndsTheProgramWithinFiveSeconds)
{
    SetUpRemote();
    Notify(TRAY_ICON_REMOTE, WM_LBUTTONDOWN);
    EXPECT_EQ(s_closeCount, 0) << "a left click before Exit does nothing";

    ChooseExit(TRAY_ICON_REMOTE, REMOTE_CAPTION, [](HWND box) { ClickBoxButton(box, YES_BUTTON); });
    DWORD confirmed = GetTickCount();
    EXPECT_TRUE(m_remote->IsExitPending());
    EXPECT_EQ(s_closeCount, 0) << "the program gives the user time to read the balloon";

    // The shell shows the balloon; a blink meanwhile still swaps the icon
    // and leaves the balloon up.
    EXPECT_TRUE(WaitUntil([] { return FindBalloon() != nullptr; }, TRAY_WAIT_MS));
    m_remote->FlashIcon(2);
    EXPECT_TRUE(WaitForTrayCount(m_remoteIcon, 0)) << "lit";
    EXPECT_NE(FindBalloon(), nullptr);

    // The program is ending anyway: a second Exit is refused.
    Notify(TRAY_ICON_REMOTE, WM_RBUTTONDOWN, [] {
        HWND menu = WaitForMenu();
        ASSERT_NE(menu, nullptr);
        MenuView view = ReadMenu(menu);
        ASSERT_EQ(view.Entries.size(), 3u);
        EXPECT_EQ(view.Entries[EXIT_POSITION].Id, TRAY_CMD_EXIT);
        EXPECT_TRUE(view.Entries[EXIT_POSITION].Grayed);
        EXPECT_FALSE(view.Entries[0].Grayed);
        DismissMenu(menu);
    });

    EXPECT_TRUE(WaitUntil([] { return s_exitTimerCount == 1; }, EXIT_TIMER_LIMIT_MS));
    EXPECT_GE(s_exitTimerTick - confirmed, TRAY_EXIT_DELAY_MS - 200) << "not before its time";
    EXPECT_TRUE(ShellHasIcon(m_main, TRAY_ICON_REMOTE)) << "the icon goes with the window, not before";
}

TEST_F(TrayExitTest, AfterYesAClickOrTheBalloonsEndEndsTheProgramAtOnce)
{
    for (UINT message : {static_cast<UINT>(WM_LBUTTONDOWN), static_cast<UINT>(NIN_BALLOONUSERCLICK),
                         static_cast<UINT>(NIN_BALLOONTIMEOUT)}) {
        SCOPED_TRACE(message);
        SetUpRemote();
        s_closeCount = 0;
        Notify(TRAY_ICON_REMOTE, message);
        EXPECT_EQ(s_closeCount, 0) << "nothing pending yet";
        ChooseExit(TRAY_ICON_REMOTE, REMOTE_CAPTION, [](HWND box) { ClickBoxButton(box, YES_BUTTON); });

        Notify(TRAY_ICON_REMOTE, WM_RBUTTONUP);
        Notify(TRAY_ICON_KEYBOARD, message);
        EXPECT_EQ(s_closeCount, 0) << "other messages and the keyboard's icon do not end it";
        Notify(TRAY_ICON_REMOTE, message);
        EXPECT_EQ(s_closeCount, 1);
        EXPECT_EQ(s_exitTimerCount, 0);
        EXPECT_TRUE(KillTimer(m_main, IDT_EXIT)) << "the exit timer was running";
    }
}

TEST_F(TrayExitTest, TheKeyboardTrayAsksInItsOwnSlotAndEndsAtOnce)
{
    SetUpRemote();
    ChooseExit(TRAY_ICON_KEYBOARD, KEYBOARD_CAPTION, [&](HWND box) {
        EXPECT_EQ(BoxText(box), "You are going to stop one touch start button.\ncontinue ?");
        EXPECT_EQ(GetMessageBoxWindow(MSGBOX_SLOT_KEYBOARD_EXIT), box);
        EXPECT_TRUE(SendQuickly(TRAY_ICON_REMOTE, WM_RBUTTONDOWN)) << "the question blocks the other tray too";
        ClickBoxButton(box, NO_BUTTON);
    });
    EXPECT_EQ(s_closeCount, 0);

    ChooseExit(TRAY_ICON_KEYBOARD, KEYBOARD_CAPTION, [](HWND box) { ClickBoxButton(box, YES_BUTTON); });
    EXPECT_EQ(s_closeCount, 1) << "closed at once";
    EXPECT_FALSE(KillTimer(m_main, IDT_EXIT)) << "no delay";
    EXPECT_FALSE(m_remote->IsExitPending());

    // Its left clicks and balloon messages are never for ending anything.
    for (UINT message : {static_cast<UINT>(WM_LBUTTONDOWN), static_cast<UINT>(NIN_BALLOONUSERCLICK)}) {
        Notify(TRAY_ICON_KEYBOARD, message);
    }
    EXPECT_EQ(s_closeCount, 1);
}

}  // namespace
