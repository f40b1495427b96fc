#include "tray/tray_control.h"

#include "base/app_context.h"
#include "base/folders.h"
#include "base/key_tap.h"
#include "base/messages.h"
#include "base/scoped.h"
#include "config/regs.h"

#include <cstdio>

LONG CTrayControl::ExitQuestionOpen = 0;

namespace {

// The blink restore timers are thread timers without a window, so their
// procedure gets only the timer id: this table ties each running timer to
// the controller whose icon it restores. Main thread only.
struct BlinkTimer {
    UINT_PTR id;
    CTrayControl* tray;
};
constexpr int MAX_BLINK_TIMERS = 32;
BlinkTimer g_blinkTimers[MAX_BLINK_TIMERS];

constexpr uint16_t FIRST_BLINK_KIND = 2;
constexpr uint16_t LAST_BLINK_KIND = 6;

// Room for a program folder, a file name from the registry and its arguments.
constexpr size_t COMMAND_LINE_SIZE = 2 * MAX_PATH;

// A window title or class from the registry that is empty would match any
// untitled window of the session; such a text finds nothing instead.
HWND FindTopLevel(const char* className, const char* title)
{
    if (!title || !title[0] || (className && !className[0])) {
        return nullptr;
    }
    return FindWindowA(className, title);
}

uint8_t ForegroundKey() { return static_cast<uint8_t>(CConfig::GetControlSettings().Vk_ApFore & 0xFF); }

// "<program folder>\<file>"; false when it does not fit.
bool ProgramFilePath(const TrayCompanions& c, const char* file, char* out, size_t size)
{
    char folder[MAX_PATH] = {};
    if (!c.ProgramDir || !c.ProgramDir(folder, sizeof(folder))) {
        return false;
    }
    return JoinPath(out, size, folder, file);
}

}  // namespace

CTrayControl::CTrayControl() = default;

CTrayControl::~CTrayControl()
{
    HideIcon();
    // A blink still running must not restore the icon of a gone controller.
    for (BlinkTimer& timer : g_blinkTimers) {
        if (timer.tray == this) {
            KillTimer(nullptr, timer.id);
            timer = BlinkTimer{};
        }
    }
    if (NormalIcon) {
        DestroyIcon(NormalIcon);
    }
    if (BlinkIcon) {
        DestroyIcon(BlinkIcon);
    }
}

HICON CTrayControl::LoadTrayIcon(int resourceId)
{
    return static_cast<HICON>(
        LoadImageA(GetAppInstance(), MAKEINTRESOURCEA(resourceId), IMAGE_ICON, 0, 0, 0));
}

void CTrayControl::EnableIcon(UINT iconId, UINT flags, const char* tip, HICON normal, HICON blink)
{
    NormalIcon = normal;
    BlinkIcon = blink;
    IconData = NOTIFYICONDATAA{};
    IconData.cbSize = TRAY_ICON_RECORD_SIZE;
    IconData.hWnd = GetAppMainWindow();
    IconData.uID = iconId;
    IconData.uFlags = flags;
    IconData.uCallbackMessage = WM_TRAY_NOTIFY;
    IconData.hIcon = NormalIcon;
    if (flags & NIF_TIP) {
        CopyCutWhole(IconData.szTip, TRAY_TIP_MAX + 1, tip);
    }
    Enabled = 1;
}

void CTrayControl::ShowIcon()
{
    if (!Enabled || Shown) {
        return;
    }
    // Set before the call: an add the shell refused comes back only after
    // the next hide and show, not on every show.
    Shown = 1;
    Shell_NotifyIconA(NIM_ADD, &IconData);
}

void CTrayControl::HideIcon()
{
    if (!Enabled || !Shown) {
        return;
    }
    Shown = 0;
    Shell_NotifyIconA(NIM_DELETE, &IconData);
}

void CTrayControl::FlashIcon(uint16_t kind)
{
    if (!BlinkIcon || !Enabled || !Shown) {
        return;
    }
    if (kind < FIRST_BLINK_KIND || kind > LAST_BLINK_KIND) {
        return;
    }
    if ((GetControlSettings().Fmode & (1u << (kind - 1))) == 0) {
        return;
    }
    IconData.hIcon = BlinkIcon;
    Shell_NotifyIconA(NIM_MODIFY, &IconData);

    UINT_PTR id = SetTimer(nullptr, 0, TRAY_BLINK_MS, RestoreIconTimerProc);
    if (!id) {
        RestoreNormalIcon();
        return;
    }
    for (BlinkTimer& timer : g_blinkTimers) {
        if (timer.id == 0) {
            timer = BlinkTimer{id, this};
            return;
        }
    }
    // More blinks in flight than anyone can press: let this one go at once.
    KillTimer(nullptr, id);
    RestoreNormalIcon();
}

void CALLBACK CTrayControl::RestoreIconTimerProc(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    for (BlinkTimer& timer : g_blinkTimers) {
        if (timer.id == id) {
            CTrayControl* tray = timer.tray;
            timer = BlinkTimer{};
            tray->RestoreNormalIcon();
            return;
        }
    }
}

void CTrayControl::RestoreNormalIcon()
{
    IconData.hIcon = NormalIcon;
    // A hidden icon is added again with the normal icon; nothing to tell.
    if (Shown) {
        Shell_NotifyIconA(NIM_MODIFY, &IconData);
    }
}

void CTrayControl::ShowBalloon(LPCSTR text, LPCSTR title, DWORD infoFlags, UINT seconds)
{
    if (!Enabled) {
        return;
    }
    // Only the balloon changes. The flags are put back afterwards without
    // NIF_INFO: a later blink must swap the icon, and must not hand the
    // shell the cleared text, which would take the balloon down early.
    UINT flags = IconData.uFlags;
    IconData.uFlags = NIF_INFO;
    CopyCutWhole(IconData.szInfo, TRAY_BALLOON_TEXT_MAX + 1, text ? text : "");
    CopyCutWhole(IconData.szInfoTitle, TRAY_BALLOON_TITLE_MAX + 1, title ? title : "");
    IconData.dwInfoFlags = infoFlags;
    IconData.uTimeout = seconds * 1000;
    Shell_NotifyIconA(NIM_MODIFY, &IconData);
    // Later changes of the icon must not show the balloon again.
    IconData.szInfo[0] = '\0';
    IconData.uFlags = flags & ~static_cast<UINT>(NIF_INFO);
}

LRESULT CTrayControl::OnTrayNotify(UINT, UINT, UINT mouseMessage)
{
    // While an exit question is open the icons do nothing: no second
    // question, no menu, no window opened behind the box.
    if (ExitQuestionOpen) {
        return 0;
    }
    switch (mouseMessage) {
    case WM_LBUTTONDOWN:
    case NIN_BALLOONTIMEOUT:
    case NIN_BALLOONUSERCLICK:
        OnIconClicked();
        break;
    case WM_LBUTTONDBLCLK:
        OpenUtility();
        break;
    case WM_RBUTTONDOWN:
        ShowMenu();
        break;
    default:
        break;
    }
    return 0;
}

void CTrayControl::ShowMenu()
{
    TrayMenuItem items[TRAY_MENU_MAX] = {};
    int count = BuildMenu(items);
    if (count <= 0) {
        return;
    }
    ScopedMenu menu(CreatePopupMenu());
    if (!menu) {
        return;
    }
    for (int i = 0; i < count && i < TRAY_MENU_MAX; ++i) {
        AppendMenuA(menu.get(), MF_STRING | (items[i].Grayed ? MF_GRAYED : 0), items[i].Command, items[i].Text);
    }
    SetMenuDefaultItem(menu.get(), items[0].Command, FALSE);

    POINT cursor{};
    GetCursorPos(&cursor);
    TapKey(ForegroundKey());
    // The menu only goes away on a click elsewhere when its owner is the
    // foreground window.
    SetForegroundWindow(GetAppMainWindow());
    UINT command = static_cast<UINT>(TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, cursor.x, cursor.y,
                                                    0, GetAppMainWindow(), nullptr));
    menu.reset();

    switch (command) {
    case TRAY_CMD_UTILITY:
        OpenUtility();
        break;
    case TRAY_CMD_HELP:
        OpenHelp();
        break;
    case TRAY_CMD_EXIT:
        if (ConfirmExit()) {
            OnExitConfirmed();
        }
        break;
    default:
        break;
    }
}

BOOL CTrayControl::ConfirmExit()
{
    if (ExitQuestionOpen) {
        return FALSE;
    }
    ExitQuestionOpen = 1;
    char text[2 * TEXT_FIELD_SIZE + 2] = {};
    std::snprintf(text, sizeof(text), "%s\n%s", Companions.ExitLine1, Companions.ExitLine2);
    // The box runs its own message loop: icon messages arriving meanwhile
    // find ExitQuestionOpen set and are ignored.
    INT_PTR answer =
        ShowAppMessageBox(nullptr, text, Companions.ExitCaption, TRAY_EXIT_QUESTION_TYPE, Companions.ExitSlot);
    ExitQuestionOpen = 0;
    // Yes, the close button, or a box of another notice already in the slot.
    return answer != IDNO ? TRUE : FALSE;
}

HWND CTrayControl::FindUtilityWindow() const { return FindTopLevel(nullptr, Companions.UtilityTitle); }

HWND CTrayControl::FindHelpWindow() const { return FindTopLevel(Companions.HelpClass, Companions.HelpTitle); }

BOOL CTrayControl::IsUtilityOpen() { return FindUtilityWindow() ? TRUE : FALSE; }

BOOL CTrayControl::IsHelpOpen() { return FindHelpWindow() ? TRUE : FALSE; }

void CTrayControl::CloseUtility()
{
    if (HWND window = FindUtilityWindow()) {
        PostMessageA(window, WM_CLOSE, 0, 0);
    }
}

void CTrayControl::CloseHelp()
{
    if (HWND window = FindHelpWindow()) {
        PostMessageA(window, WM_CLOSE, 0, 0);
    }
}

bool CTrayControl::BringForward(HWND window) const
{
    if (!window) {
        return false;
    }
    TapKey(ForegroundKey());
    SetForegroundWindow(window);
    return true;
}

// ERROR_ELEVATION_REQUIRED (740), which MinGW's winerror.h lacks: what
// CreateProcess answers for a program whose manifest asks for administrator
// rights the caller has not got.
constexpr DWORD ELEVATION_REQUIRED = 740;

void CTrayControl::OpenUtility()
{
    if (ExitQuestionOpen || BringForward(FindUtilityWindow())) {
        return;
    }
    char path[COMMAND_LINE_SIZE] = {};
    char command[COMMAND_LINE_SIZE] = {};
    if (!ProgramFilePath(Companions, Companions.UtilityFile, path, sizeof(path))) {
        return;
    }
    // In quotes: a folder under "Program Files" must not be read as
    // "C:\Program" with arguments.
    const char* arguments = Companions.UtilityArguments;
    int n = std::snprintf(command, sizeof(command), "\"%s\"%s%s", path, arguments ? " " : "", arguments ? arguments : "");
    if (n <= 0 || static_cast<size_t>(n) >= sizeof(command)) {
        return;
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_FORCEONFEEDBACK;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        // The utility writes the machine's keys and says so in its manifest:
        // from a program without administrator rights CreateProcess refuses
        // it, and only the shell can ask the user for consent.
        if (GetLastError() == ELEVATION_REQUIRED) {
            StartElevated(path, arguments);
        }
        return;
    }
    ScopedHandle thread(process.hThread);
    ScopedHandle started(process.hProcess);
    // Until the utility shows its window, a second double click would start
    // it again.
    WaitForInputIdle(started.get(), INFINITE);
}

void CTrayControl::StartElevated(const char* path, const char* arguments)
{
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = "runas";
    info.lpFile = path;
    info.lpParameters = arguments;
    info.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExA(&info) && info.hProcess) {
        ScopedHandle started(info.hProcess);
        WaitForInputIdle(started.get(), INFINITE);
    }
}

void CTrayControl::OpenHelp()
{
    if (ExitQuestionOpen || BringForward(FindHelpWindow())) {
        return;
    }
    char path[COMMAND_LINE_SIZE] = {};
    if (!ProgramFilePath(Companions, Companions.HelpFile, path, sizeof(path))) {
        return;
    }
    TapKey(ForegroundKey());
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof(info);
    // No error box from the shell: a missing help file is simply not opened.
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_DDEWAIT | SEE_MASK_FLAG_NO_UI;
    info.lpFile = path;
    info.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExA(&info)) {
        ScopedHandle viewer(info.hProcess);
    }
}
