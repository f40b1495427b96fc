// The notification icons as the desktop's shell shows them: added once and
// removed once, side by side, each with its own picture, and blinking only
// for the input kinds of Fmode.

#include "tests/tray/tray_world.h"

#include "config/regs.h"
#include "config/texts.h"

#include <string>

namespace {

// Long enough for the shell to repaint an icon many times over.
constexpr DWORD NO_BLINK_WATCH_MS = 500;

using TrayIconTest = TrayWorld;

TEST_F(TrayIconTest, EachIconIsAddedOnceRemovedOnceAndLeavesTheOtherAlone)
{
    SetControl("Icon", 1);
    EnableKeyboardTray();
    CreateTrays();

    TrayPicture remote = ShowAndSee(*m_remote);
    m_remote->ShowIcon();
    EXPECT_TRUE(ShellHasIcon(m_main, TRAY_ICON_REMOTE));
    TrayPicture keyboard = ShowAndSee(*m_keyboard);
    EXPECT_TRUE(ShellHasIcon(m_main, TRAY_ICON_KEYBOARD));
    SettledTrayPictures();
    EXPECT_EQ(TrayCount(remote), 1u) << "a second show adds nothing";
    EXPECT_EQ(TrayCount(keyboard), 1u) << "both icons side by side";

    m_keyboard->HideIcon();
    m_keyboard->HideIcon();
    EXPECT_FALSE(ShellHasIcon(m_main, TRAY_ICON_KEYBOARD));
    EXPECT_TRUE(ShellHasIcon(m_main, TRAY_ICON_REMOTE)) << "hiding one icon leaves the other";
    EXPECT_TRUE(WaitForTrayCount(keyboard, 0));
    EXPECT_EQ(TrayCount(remote), 1u);

    m_keyboard->ShowIcon();
    EXPECT_TRUE(WaitForTrayCount(keyboard, 1)) << "shown again after a hide";

    m_remote.reset();
    EXPECT_FALSE(ShellHasIcon(m_main, TRAY_ICON_REMOTE)) << "the controller takes its icon with it";
    EXPECT_TRUE(WaitForTrayCount(remote, 0));
    EXPECT_TRUE(ShellHasIcon(m_main, TRAY_ICON_KEYBOARD));
    m_keyboard.reset();
    EXPECT_TRUE(WaitForTrayCount(keyboard, 0));
}

TEST_F(TrayIconTest, DisabledTraysNeverReachTheNotificationArea)
{
    struct Case {
        const char* what;
        uint32_t icon;
        bool keyboardFlagAsText;
    };
    for (Case c : {Case{"Icon 0, no TESKUTL", 0, false}, Case{"Icon 7 and TESKUTL as a text", 7, true}}) {
        SCOPED_TRACE(c.what);
        SetControl("Icon", c.icon);
        if (c.keyboardFlagAsText) {
            RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, KEYBOARD_UTILITY_FLAG_KEY, KEYBOARD_UTILITY_FLAG, "1");
        }
        CreateTrays();
        std::vector<TrayPicture> before = SettledTrayPictures();
        m_remote->ShowIcon();
        m_keyboard->ShowIcon();
        m_remote->FlashIcon(2);
        m_remote->ShowBalloon("text", "title", NIIF_INFO, 10);
        EXPECT_FALSE(ShellHasIcon(m_main, TRAY_ICON_REMOTE));
        EXPECT_FALSE(ShellHasIcon(m_main, TRAY_ICON_KEYBOARD));
        EXPECT_TRUE(WaitForNewPicture(before, NO_BLINK_WATCH_MS).empty());
        m_remote->HideIcon();
        EXPECT_FALSE(m_remote->IsShown());
    }
}

TEST_F(TrayIconTest, EachIconSetHasItsOwnPictures)
{
    EnableKeyboardTray();
    std::vector<TrayPicture> pictures;
    for (uint32_t set : {1u, 2u}) {
        SetControl("Icon", set);
        CreateTrays();
        pictures.push_back(ShowAndSee(*m_remote));
        std::vector<TrayPicture> shown = SettledTrayPictures();
        m_remote->FlashIcon(2);
        pictures.push_back(WaitForNewPicture(shown));
        PumpFor(0);
    }
    pictures.push_back(ShowAndSee(*m_keyboard));

    // Remote, lit remote, alternative, lit alternative, keyboard.
    for (size_t i = 0; i < pictures.size(); ++i) {
        ASSERT_FALSE(pictures[i].empty()) << i;
        for (size_t j = i + 1; j < pictures.size(); ++j) {
            EXPECT_NE(pictures[i], pictures[j]) << "pictures " << i << " and " << j;
        }
    }
}

TEST_F(TrayIconTest, TheRemoteIconBlinksForTheKindsOfFmodeAndComesBack)
{
    struct Case {
        uint32_t fmode;
        uint16_t kind;
        bool blinks;
    };
    const Case cases[] = {
        {6, 2, true},  {6, 3, true},  {6, 4, false}, {6, 5, false},  {6, 6, false},
        {6, 1, false}, {6, 7, false}, {0, 2, false}, {0x3E, 6, true}, {0xFFFFFFFF, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "Fmode " << c.fmode << ", kind " << c.kind);
        SetControl("Icon", 1);
        SetControl("Fmode", c.fmode);
        CreateTrays(false);
        TrayPicture normal = ShowAndSee(*m_remote);
        ASSERT_FALSE(normal.empty());

        DWORD flashed = GetTickCount();
        m_remote->FlashIcon(c.kind);
        // This thread's loop does not run here, so a blink stays lit.
        bool lit = WaitForTrayCount(normal, 0, c.blinks ? TRAY_SETTLE_MS : NO_BLINK_WATCH_MS);
        EXPECT_EQ(lit, c.blinks);
        if (!lit) {
            continue;
        }
        // Now let the loop run: the normal icon comes back, not before 200 ms.
        bool early = false;
        EXPECT_TRUE(WaitUntil(
            [&] {
                bool back = TrayCount(normal) == 1;
                early = early || (back && GetTickCount() - flashed < TRAY_BLINK_MS);
                return back;
            },
            TRAY_SETTLE_MS))
            << "the blink must end";
        EXPECT_FALSE(early);
    }
}

TEST_F(TrayIconTest, TheKeyboardIconNeverBlinks)
{
    EnableKeyboardTray();
    CreateTrays();
    TrayPicture normal = ShowAndSee(*m_keyboard);
    ASSERT_FALSE(normal.empty());
    for (uint16_t kind = 1; kind <= 6; ++kind) {
        m_keyboard->FlashIcon(kind);
    }
    EXPECT_FALSE(WaitForTrayCount(normal, 0, NO_BLINK_WATCH_MS));
}

TEST_F(TrayIconTest, TheTipFollowsTipEnableAndIsCutOnAWholeCharacter)
{
    // 40 double-byte characters: a cut at 63 bytes falls into the 32nd.
    std::string title;
    for (int i = 0; i < 40; ++i) {
        title += "\x82\xa0";  // あ in code page 932
    }
    SetRemoteText("Kova_Title", title);
    SetControl("Icon", 1);
    SetControl("Tip_Enable", 1);
    EnableKeyboardTray();
    CreateTrays();
    const NOTIFYICONDATAA& remote = m_remote->GetIconData();
    EXPECT_EQ(remote.cbSize, TRAY_ICON_RECORD_SIZE);
    EXPECT_EQ(remote.uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_INFO));
    EXPECT_EQ(remote.uCallbackMessage, WM_USER + 2);
    EXPECT_EQ(std::string(remote.szTip), title.substr(0, 62)) << "31 whole characters";

    const NOTIFYICONDATAA& keyboard = m_keyboard->GetIconData();
    EXPECT_EQ(keyboard.uID, TRAY_ICON_KEYBOARD);
    EXPECT_EQ(keyboard.uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_STREQ(keyboard.szTip, "Orlan One-touch Start Buttons");

    SetControl("Tip_Enable", 0);
    CreateTrays(false);
    EXPECT_EQ(m_remote->GetIconData().uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON));
    EXPECT_STREQ(m_remote->GetIconData().szTip, "");
}

}  // namespace
