#include "tray/kova_tray_ctrl.h"

#include "base/app_context.h"
#include "base/folders.h"
#include "base/messages.h"
#include "resources/resource.h"

namespace {

constexpr uint32_t ICON_NONE = 0;
constexpr uint32_t ICON_ALTERNATIVE = 2;

}  // namespace

CKovaTrayCtrl::CKovaTrayCtrl()
{
    const RemoteTexts& texts = GetRemoteTexts();
    Companions.UtilityTitle = texts.Util_Title;
    Companions.HelpClass = texts.Help_Class;
    Companions.HelpTitle = texts.Help_Title;
    Companions.ProgramDir = GetRemoteProgramDir;
    Companions.UtilityFile = texts.Util_Exe;
    Companions.HelpFile = texts.Util_Help;
    Companions.ExitLine1 = texts.Menu_Msg1;
    Companions.ExitLine2 = texts.Menu_Msg2;
    Companions.ExitCaption = texts.Kova_Title;
    Companions.ExitSlot = MSGBOX_SLOT_EXIT_QUESTION;

    const ControlSettings& settings = GetControlSettings();
    if (settings.Icon == ICON_NONE) {
        return;  // the program runs without a presence in the notification area
    }
    bool alternative = settings.Icon == ICON_ALTERNATIVE;
    HICON normal = LoadTrayIcon(alternative ? IDI_REMOTE_ALT : IDI_REMOTE);
    HICON blink = LoadTrayIcon(alternative ? IDI_REMOTE_ALT_LIT : IDI_REMOTE_LIT);
    if (settings.Tip_Enable) {
        EnableIcon(TRAY_ICON_REMOTE, NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_INFO, texts.Kova_Title, normal, blink);
    } else {
        EnableIcon(TRAY_ICON_REMOTE, NIF_MESSAGE | NIF_ICON, nullptr, normal, blink);
    }
}

int CKovaTrayCtrl::BuildMenu(TrayMenuItem (&items)[TRAY_MENU_MAX])
{
    const ControlSettings& settings = GetControlSettings();
    const RemoteTexts& texts = GetRemoteTexts();
    // Exit is grayed while the setting utility is open, but only when the
    // menu offers the utility at all, and once an exit is pending.
    bool utilityOpen = settings.Util_Enable && IsUtilityOpen();
    int count = 0;
    if (settings.Util_Enable) {
        items[count++] = {TRAY_CMD_UTILITY, texts.Menu_Util, utilityOpen};
    }
    if (settings.Help_Enable) {
        items[count++] = {TRAY_CMD_HELP, texts.Menu_Help, IsHelpOpen() != FALSE};
    }
    // A confirmed Exit ends the program within seconds anyway: a second
    // question would only race the exit timer.
    if (settings.Exit_Enable) {
        items[count++] = {TRAY_CMD_EXIT, texts.Menu_Exit, utilityOpen || ExitPending != 0};
    }
    return count;
}

void CKovaTrayCtrl::OnExitConfirmed()
{
    const RemoteTexts& texts = GetRemoteTexts();
    MessageBeep(MB_ICONASTERISK);
    ShowBalloon(texts.Balloon_Msg, texts.Balloon_Title, NIIF_INFO, TRAY_BALLOON_SECONDS);
    SetTimer(GetAppMainWindow(), IDT_EXIT, TRAY_EXIT_DELAY_MS, nullptr);
    ExitPending = 1;
}

void CKovaTrayCtrl::OnIconClicked()
{
    if (ExitPending) {
        PostMessageA(GetAppMainWindow(), WM_CLOSE, 0, 0);
    }
}
