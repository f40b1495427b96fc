#pragma once
// CTrayControl: the base of the two notification icons (remote control and
// keyboard). Each controller owns its own icon record, so both icons can be
// in the notification area side by side.
//
// What the two trays have in common lives here: the icon with its blink and
// balloon, the click handling and the popup menu, the exit question, and the
// setting utility and help they open, find and close. Each tray describes
// its own windows, files and texts in TrayCompanions and supplies its menu
// and what a confirmed Exit does.

#include <windows.h>
#include <shellapi.h>

#include "config/config.h"

#include <cstddef>
#include <cstdint>

// The blink shown for a qualifying button press.
constexpr UINT TRAY_BLINK_MS = 200;

// Icon ids: the main window routes the icons' messages by them.
constexpr UINT TRAY_ICON_REMOTE = 1;
constexpr UINT TRAY_ICON_KEYBOARD = 2;

// Menu commands of both trays.
constexpr UINT TRAY_CMD_UTILITY = 105;
constexpr UINT TRAY_CMD_HELP = 106;
constexpr UINT TRAY_CMD_EXIT = 107;
constexpr int TRAY_MENU_MAX = 3;

// Yes and No with the exclamation icon.
constexpr UINT TRAY_EXIT_QUESTION_TYPE = MB_YESNO | MB_ICONEXCLAMATION;

// The shell's icon record of the current layout, as the program hands it over.
constexpr DWORD TRAY_ICON_RECORD_SIZE = 528;
static_assert(sizeof(NOTIFYICONDATAA) == TRAY_ICON_RECORD_SIZE, "NOTIFYICONDATAA of the full current layout");

// Longest texts the icon record takes, in characters (bytes of the ANSI code page).
constexpr size_t TRAY_TIP_MAX = 63;
constexpr size_t TRAY_BALLOON_TEXT_MAX = 255;
constexpr size_t TRAY_BALLOON_TITLE_MAX = 63;

// The windows and files a tray opens and closes, and its exit question. The
// texts point into the configuration store, which outlives every tray.
struct TrayCompanions {
    const char* UtilityTitle = "";  // the setting utility's window, any class
    const char* HelpClass = "";
    const char* HelpTitle = "";
    bool (*ProgramDir)(char* out, size_t size) = nullptr;  // where both files live
    const char* UtilityFile = "";
    const char* UtilityArguments = nullptr;  // null: the utility gets none
    const char* HelpFile = "";
    const char* ExitLine1 = "";
    const char* ExitLine2 = "";
    const char* ExitCaption = "";
    UINT ExitSlot = 0;
};

struct TrayMenuItem {
    UINT Command;
    const char* Text;
    bool Grayed;
};

class CTrayControl : public CConfig {
public:
    CTrayControl();
    ~CTrayControl() override;

    CTrayControl(const CTrayControl&) = delete;
    CTrayControl& operator=(const CTrayControl&) = delete;

    void ShowIcon();
    void HideIcon();
    // Blinks for an input of the given kind (2 to 6) when Fmode enables it.
    void FlashIcon(uint16_t kind);
    void ShowBalloon(LPCSTR text, LPCSTR title, DWORD infoFlags, UINT seconds);

    // A message on the icon (WM_TRAY_NOTIFY); always answers 0.
    virtual LRESULT OnTrayNotify(UINT message, UINT iconId, UINT mouseMessage);
    virtual void CloseUtility();
    virtual void CloseHelp();
    // Asks whether to stop the program; FALSE only for the answer No, or
    // when an exit question is open already.
    virtual BOOL ConfirmExit();
    virtual void OpenUtility();
    virtual void OpenHelp();
    virtual BOOL IsUtilityOpen();
    virtual BOOL IsHelpOpen();

    bool IsShown() const { return Shown != 0; }
    bool IsEnabled() const { return Enabled != 0; }
    const NOTIFYICONDATAA& GetIconData() const { return IconData; }

    // An exit question of either tray is on screen: both ignore their icons.
    static LONG ExitQuestionOpen;

protected:
    // Fills the icon record and enables the controller; takes the icons.
    void EnableIcon(UINT iconId, UINT flags, const char* tip, HICON normal, HICON blink);
    // An icon of the program's resources at the size stored there.
    static HICON LoadTrayIcon(int resourceId);

    // The present menu commands in menu order; the first is the default.
    virtual int BuildMenu(TrayMenuItem (&items)[TRAY_MENU_MAX]) = 0;
    // The user chose Exit and confirmed it.
    virtual void OnExitConfirmed() = 0;
    // A left click on the icon, or its balloon went away.
    virtual void OnIconClicked() {}

    TrayCompanions Companions;

    LONG Shown = 0;
    LONG Enabled = 0;
    NOTIFYICONDATAA IconData{};
    HICON NormalIcon = nullptr;
    HICON BlinkIcon = nullptr;

private:
    void ShowMenu();
    HWND FindUtilityWindow() const;
    HWND FindHelpWindow() const;
    // Taps Vk_ApFore and makes an open window the foreground window; false
    // when there is no window.
    bool BringForward(HWND window) const;
    // Starts a program whose manifest asks for administrator rights through
    // the shell, which asks the user; waits until it takes input.
    static void StartElevated(const char* path, const char* arguments);
    static void CALLBACK RestoreIconTimerProc(HWND, UINT, UINT_PTR id, DWORD);
    void RestoreNormalIcon();
};
