// The trays' menus and double clicks, driven like a user: the menu is read
// and operated through its window, the setting utility and help are played
// by stand-in windows of the test or by the stand-in program winstub.exe.

#include "tests/tray/tray_world.h"

#include "base/folders.h"
#include "tests/support/journal_reader.h"
#include "tests/support/program_files_sandbox.h"

#include <string>
#include <vector>

namespace {

struct Expected {
    UINT id;
    const char* text;
    bool grayed;
};

void ExpectMenu(const MenuView& view, const std::vector<Expected>& expected, UINT defaultId)
{
    ASSERT_EQ(view.Entries.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].text);
        EXPECT_EQ(view.Entries[i].Id, expected[i].id);
        EXPECT_EQ(view.Entries[i].Text, expected[i].text);
        EXPECT_EQ(view.Entries[i].Grayed, expected[i].grayed);
    }
    EXPECT_EQ(view.DefaultId, defaultId);
}

std::string ProgramPath(bool (*dir)(char*, size_t), const char* file)
{
    char folder[MAX_PATH] = {};
    dir(folder, sizeof(folder));
    return std::string(folder) + "\\" + file;
}

bool HasLine(const ScopedJournal& journal, const std::string& line)
{
    for (const std::string& l : journal.Lines()) {
        if (l == line) {
            return true;
        }
    }
    return false;
}

class TrayMenuTest : public TrayWorld {
protected:
    MenuView OpenMenu(UINT iconId)
    {
        MenuView view;
        Notify(iconId, WM_RBUTTONDOWN, [&] {
            HWND menu = WaitForMenu();
            ASSERT_NE(menu, nullptr);
            view = ReadMenu(menu);
            DismissMenu(menu);
        });
        return view;
    }

    // Chooses the entry at position; true when nothing popped up after it.
    bool Choose(UINT iconId, int position)
    {
        bool quiet = false;
        Notify(iconId, WM_RBUTTONDOWN, [&] {
            HWND menu = WaitForMenu();
            ASSERT_NE(menu, nullptr);
            ChooseMenuEntry(menu, position);
            WaitUntil([&] { return !IsWindow(menu); }, TRAY_WAIT_MS);
            quiet = !SomethingPoppedUpUntilHandled();
        });
        return quiet;
    }

    static void RemoteMenuSettings(uint32_t util, uint32_t help, uint32_t exit)
    {
        SetControl("Icon", 1);
        SetControl("Util_Enable", util);
        SetControl("Help_Enable", help);
        SetControl("Exit_Enable", exit);
    }
};

TEST_F(TrayMenuTest, TheRemoteMenuOffersWhatTheSettingsEnable)
{
    RemoteMenuSettings(1, 1, 1);
    CreateTrays(false);
    ExpectMenu(OpenMenu(TRAY_ICON_REMOTE),
               {{105, "Open(&O)", false}, {106, "Help(&H)", false}, {107, "Exit(&X)", false}}, 105);

    RemoteMenuSettings(0, 1, 1);
    SetRemoteText("Menu_Exit", "\x8f\x49\x97\xb9(&X)");  // 終了(&X)
    CreateTrays(false);
    ExpectMenu(OpenMenu(TRAY_ICON_REMOTE), {{106, "Help(&H)", false}, {107, "\x8f\x49\x97\xb9(&X)", false}}, 106);

    RemoteMenuSettings(0, 0, 1);
    CreateTrays(false);
    ExpectMenu(OpenMenu(TRAY_ICON_REMOTE), {{107, "\x8f\x49\x97\xb9(&X)", false}}, 107);

    // Nothing enabled: a right click shows nothing at all.
    RemoteMenuSettings(0, 0, 0);
    CreateTrays(false);
    EXPECT_FALSE(NotifyShowsSomething(TRAY_ICON_REMOTE, WM_RBUTTONDOWN));
}

TEST_F(TrayMenuTest, OpenWindowsGrayWhatTheyShould)
{
    RemoteMenuSettings(1, 1, 1);
    CreateTrays(false);
    {
        StandInWindow utility("KovaTestUtility", "KovaUtil");
        ExpectMenu(OpenMenu(TRAY_ICON_REMOTE),
                   {{105, "Open(&O)", true}, {106, "Help(&H)", false}, {107, "Exit(&X)", true}}, 105);
    }
    {
        StandInWindow help("help.class", "Orlan kovaHelp");
        ExpectMenu(OpenMenu(TRAY_ICON_REMOTE),
                   {{105, "Open(&O)", false}, {106, "Help(&H)", true}, {107, "Exit(&X)", false}}, 105);
    }
    {
        StandInWindow otherClass("KovaTestOther", "Orlan kovaHelp");
        EXPECT_FALSE(m_remote->IsHelpOpen()) << "the help window needs its class as well as its title";
    }

    // Without Open in the menu, an open utility leaves Exit available.
    RemoteMenuSettings(0, 1, 1);
    CreateTrays(false);
    {
        StandInWindow utility("KovaTestUtility", "KovaUtil");
        ExpectMenu(OpenMenu(TRAY_ICON_REMOTE), {{106, "Help(&H)", false}, {107, "Exit(&X)", false}}, 106);
    }

    // A title stored empty matches no window, not every untitled one.
    RemoteMenuSettings(1, 1, 1);
    SetRemoteText("Util_Title", "");
    CreateTrays(false);
    ExpectMenu(OpenMenu(TRAY_ICON_REMOTE),
               {{105, "Open(&O)", false}, {106, "Help(&H)", false}, {107, "Exit(&X)", false}}, 105);
}

TEST_F(TrayMenuTest, TheKeyboardMenuIsFixed)
{
    // The remote's menu settings do not touch it, and nothing is grayed
    // even while its utility and help are open.
    RemoteMenuSettings(0, 0, 0);
    EnableKeyboardTray();
    CreateTrays();
    StandInWindow utility("KovaTestUtility", "Util");
    StandInWindow help("help.class", "Help");
    ExpectMenu(OpenMenu(TRAY_ICON_KEYBOARD),
               {{105, "Util(&U)", false}, {106, "Help(&H)", false}, {107, "Exit(&X)", false}}, 105);
}

TEST_F(TrayMenuTest, OpenWindowsAreBroughtForwardInsteadOfStartedAgain)
{
    // Which window is in front is for the whole desktop to say: ctest runs
    // this test alone (see tests/CMakeLists.txt).
    // The remote's menu has no Open here; the double click works all the same.
    RemoteMenuSettings(0, 1, 1);
    SetControl("Vk_ApFore", VK_F23);
    EnableKeyboardTray();
    CreateTrays();
    StandInWindow remoteUtility("KovaTestUtility", "KovaUtil");
    StandInWindow keyboardUtility("KovaTestUtility", "Util");
    StandInWindow keyboardHelp("help.class", "Help");

    // With the key to tap (where it goes is up to the system).
    for (UINT iconId : {TRAY_ICON_REMOTE, TRAY_ICON_KEYBOARD}) {
        StandInWindow front("KovaTestOther", "Something else");
        ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == front.Window(); }, TRAY_WAIT_MS));
        Notify(iconId, WM_LBUTTONDBLCLK);
        HWND expected = iconId == TRAY_ICON_REMOTE ? remoteUtility.Window() : keyboardUtility.Window();
        EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == expected; }, TRAY_WAIT_MS));
    }

    // The keyboard's menu grays nothing, so its entries reach open windows too.
    SetControl("Vk_ApFore", 0);
    CreateTrays();
    StandInWindow other("KovaTestOther", "Something else");
    for (int position : {0, 1}) {
        SetForegroundWindow(other.Window());
        ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == other.Window(); }, TRAY_WAIT_MS));
        EXPECT_TRUE(Choose(TRAY_ICON_KEYBOARD, position));
        HWND expected = position == 0 ? keyboardUtility.Window() : keyboardHelp.Window();
        EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == expected; }, TRAY_WAIT_MS));
    }
}

TEST_F(TrayMenuTest, OpenStartsTheUtilityOnceAndItClosesOnRequest)
{
    ScopedJournal journal;
    ProgramFilesSandbox programs;
    ASSERT_TRUE(programs.Put("ZUZIDAZOR", "winstub.exe"));
    ASSERT_TRUE(programs.Put("ORLANTESK", "winstub.exe", "teskutl.exe"));
    RemoteMenuSettings(1, 1, 1);
    SetRemoteText("Util_Exe", "winstub.exe");
    EnableKeyboardTray();
    CreateTrays();

    struct Case {
        UINT iconId;
        CTrayControl* tray;
        const char* title;
        std::string started;
    };
    const Case cases[] = {
        {TRAY_ICON_REMOTE, m_remote.get(), "KovaUtil",
         "winstub.exe start cmdline=[\"" + ProgramPath(GetRemoteProgramDir, "winstub.exe") +
             "\"] title=\"KovaUtil\" class=\"KovaWinStub\""},
        {TRAY_ICON_KEYBOARD, m_keyboard.get(), "Util",
         "teskutl.exe start cmdline=[\"" + ProgramPath(GetKeyboardProgramDir, "teskutl.exe") +
             "\" /k] title=\"Util\" class=\"KovaWinStub\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        ScopedEnv title("KOVA_WINSTUB_TITLE", c.title);
        EXPECT_TRUE(Choose(c.iconId, 0));
        // The tray waited for the utility to be ready: its window is there.
        EXPECT_TRUE(c.tray->IsUtilityOpen());
        EXPECT_TRUE(HasLine(journal, c.started)) << journal.Lines().size() << " lines";

        // A double click now finds the window instead of starting another.
        Notify(c.iconId, WM_LBUTTONDBLCLK);
        c.tray->CloseUtility();
        EXPECT_TRUE(WaitUntil([&] { return !c.tray->IsUtilityOpen(); }, TRAY_WAIT_MS));
    }
    EXPECT_EQ(journal.Calls("winstub.exe", "start").size(), 1u);
    EXPECT_EQ(journal.Calls("winstub.exe", "close").size(), 1u);
    EXPECT_EQ(journal.Calls("teskutl.exe", "start").size(), 1u);
    EXPECT_EQ(journal.Calls("teskutl.exe", "close").size(), 1u);
}

TEST_F(TrayMenuTest, HelpOpensTheHelpFileAndClosesOnRequest)
{
    ScopedJournal journal;
    ScopedFileAssociation viewer(".chm");
    // A text will do for the stand-in viewer (a program would be started
    // as one, whatever its name).
    char text[MAX_PATH] = {};
    GetTempPathA(sizeof(text), text);
    GetTempFileNameA(text, "hlp", 0, text);
    ProgramFilesSandbox programs;
    ASSERT_TRUE(programs.PutFile("ZUZIDAZOR", text, "kovaUtil.chm"));
    ASSERT_TRUE(programs.PutFile("ORLANTESK", text, "TESKUTL.CHM"));
    DeleteFileA(text);
    std::string remoteHelp = ProgramPath(GetRemoteProgramDir, "kovaUtil.chm");
    std::string keyboardHelp = ProgramPath(GetKeyboardProgramDir, "TESKUTL.CHM");
    ScopedEnv helpClass("KOVA_WINSTUB_CLASS", "help.class");
    RemoteMenuSettings(1, 1, 1);
    EnableKeyboardTray();
    CreateTrays();

    struct Case {
        UINT iconId;
        CTrayControl* tray;
        const char* title;
        std::string file;
    };
    for (const Case& c : {Case{TRAY_ICON_REMOTE, m_remote.get(), "Orlan kovaHelp", remoteHelp},
                          Case{TRAY_ICON_KEYBOARD, m_keyboard.get(), "Help", keyboardHelp}}) {
        SCOPED_TRACE(c.title);
        ScopedEnv title("KOVA_WINSTUB_TITLE", c.title);
        EXPECT_TRUE(Choose(c.iconId, 1));
        EXPECT_TRUE(WaitUntil([&] { return c.tray->IsHelpOpen() != FALSE; }, TRAY_WAIT_MS));
        std::vector<std::string> started = journal.Calls("winstub.exe", "start");
        ASSERT_FALSE(started.empty());
        EXPECT_NE(started.back().find(c.file), std::string::npos) << started.back();
        c.tray->CloseHelp();
        EXPECT_TRUE(WaitUntil([&] { return !c.tray->IsHelpOpen(); }, TRAY_WAIT_MS));
    }
    EXPECT_EQ(journal.Calls("winstub.exe", "close").size(), 2u);
}

TEST_F(TrayMenuTest, AMissingUtilityOrHelpFileIsSilent)
{
    ProgramFilesSandbox emptyPrograms;
    RemoteMenuSettings(1, 1, 1);
    EnableKeyboardTray();
    CreateTrays();
    for (UINT iconId : {TRAY_ICON_REMOTE, TRAY_ICON_KEYBOARD}) {
        EXPECT_TRUE(Choose(iconId, 0)) << "no error box for the utility";
        EXPECT_TRUE(Choose(iconId, 1)) << "no error box for the help file";
    }
    EXPECT_FALSE(m_remote->IsUtilityOpen());
    EXPECT_FALSE(m_remote->IsHelpOpen());
}

}  // namespace
