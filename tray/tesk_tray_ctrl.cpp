#include "tray/tesk_tray_ctrl.h"

#include "base/app_context.h"
#include "base/folders.h"
#include "config/regs.h"
#include "resources/resource.h"

namespace {

constexpr char KEYBOARD_UTILITY_FILE[] = "teskutl.exe";
// Tells the keyboard utility it was started from the tray.
constexpr char KEYBOARD_UTILITY_ARGUMENTS[] = "/k";
constexpr char KEYBOARD_HELP_FILE[] = "TESKUTL.CHM";

uint32_t ReadKeyboardUtilityFlag()
{
    CRegs regs;
    uint32_t flag = 0;
    if (regs.Open(HKEY_LOCAL_MACHINE, KEYBOARD_UTILITY_FLAG_KEY, KEY_READ) == ERROR_SUCCESS) {
        if (regs.QueryDword(KEYBOARD_UTILITY_FLAG, &flag) != ERROR_SUCCESS) {
            flag = 0;
        }
        regs.Close();
    }
    return flag;
}

}  // namespace

CTeskTrayCtrl::CTeskTrayCtrl()
{
    const KeyboardTexts& texts = GetKeyboardTexts();
    Companions.UtilityTitle = texts.TESKUTLCaption;
    Companions.HelpClass = GetRemoteTexts().Help_Class;
    Companions.HelpTitle = texts.TESKHLPCaption;
    Companions.ProgramDir = GetKeyboardProgramDir;
    Companions.UtilityFile = KEYBOARD_UTILITY_FILE;
    Companions.UtilityArguments = KEYBOARD_UTILITY_ARGUMENTS;
    Companions.HelpFile = KEYBOARD_HELP_FILE;
    Companions.ExitLine1 = texts.TESK_Cancel;
    Companions.ExitLine2 = texts.TESK_Cancel2;
    Companions.ExitCaption = texts.OrlanTeskCaption;
    Companions.ExitSlot = MSGBOX_SLOT_KEYBOARD_EXIT;

    if (ReadKeyboardUtilityFlag() == 0) {
        return;
    }
    EnableIcon(TRAY_ICON_KEYBOARD, NIF_MESSAGE | NIF_ICON | NIF_TIP, texts.OrlanTeskCaption,
               LoadTrayIcon(IDI_KEYBOARD), nullptr);
}

int CTeskTrayCtrl::BuildMenu(TrayMenuItem (&items)[TRAY_MENU_MAX])
{
    const KeyboardTexts& texts = GetKeyboardTexts();
    items[0] = {TRAY_CMD_UTILITY, texts.MENU_UTL, false};
    items[1] = {TRAY_CMD_HELP, texts.MENU_HELP, false};
    items[2] = {TRAY_CMD_EXIT, texts.MENU_EXIT, false};
    return TRAY_MENU_MAX;
}

void CTeskTrayCtrl::OnExitConfirmed()
{
    // No balloon and no delay: the keyboard's program ends at once.
    PostMessageA(GetAppMainWindow(), WM_CLOSE, 0, 0);
}
