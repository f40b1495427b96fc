#include "util/util_frame.h"

#include "base/messages.h"
#include "base/scoped.h"
#include "util/button_test_page.h"
#include "util/dialog_text.h"
#include "util/profiles_page.h"
#include "util/receivers_page.h"
#include "util/settings_page.h"
#include "util/util_resource.h"
#include "util/windows_page.h"

#include <cstdio>

namespace {

constexpr UINT WM_APP_CHECK = WM_APP + 10;
// kova.exe EXIT waits for the running copy, whose watchers may take 5.5 s
// each to end.
constexpr DWORD KOVA_EXIT_LIMIT_MS = 30000;
constexpr DWORD KOVA_START_LIMIT_MS = 20000;

bool StartOwnFolderProgram(const char* file, const char* arguments, HANDLE* process)
{
    char folder[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, folder, sizeof(folder));
    if (length == 0 || length >= sizeof(folder)) {
        return false;
    }
    if (char* slash = strrchr(folder, '\\')) {
        *slash = '\0';
    }
    char command[2 * MAX_PATH];
    std::snprintf(command, sizeof(command), "\"%s\\%s\"%s%s", folder, file, arguments ? " " : "",
                  arguments ? arguments : "");
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, folder, &startup, &info)) {
        return false;
    }
    CloseHandle(info.hThread);
    *process = info.hProcess;
    return true;
}

}  // namespace

HWND FindKovaWindow()
{
    HWND window = FindWindowA(MAIN_WINDOW_CLASS, nullptr);
    return window ? window : FindWindowA(KEYBOARD_WINDOW_CLASS, nullptr);
}

bool RestartKova()
{
    HANDLE raw = nullptr;
    if (StartOwnFolderProgram("kova.exe", "EXIT", &raw)) {
        ScopedHandle exiting(raw);
        WaitForSingleObject(exiting.get(), KOVA_EXIT_LIMIT_MS);
    }
    if (!StartOwnFolderProgram("kova.exe", nullptr, &raw)) {
        return false;
    }
    ScopedHandle started(raw);
    WaitForInputIdle(started.get(), KOVA_START_LIMIT_MS);
    return true;
}

UtilFrame::UtilFrame(UtilDocument& document, std::string title, std::string caption)
    : m_document(document), m_title(std::move(title)), m_caption(std::move(caption))
{
    m_pages.push_back(std::make_unique<ReceiversPage>(document));
    m_pages.push_back(std::make_unique<ButtonTestPage>(document));
    m_pages.push_back(std::make_unique<ProfilesPage>(document));
    m_pages.push_back(std::make_unique<WindowsPage>(document));
    m_pages.push_back(std::make_unique<SettingsPage>(document));
    m_document.Changed = [this] { ScheduleCheck(); };
}

UtilFrame::~UtilFrame() { m_document.Changed = nullptr; }

INT_PTR UtilFrame::Run()
{
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_UTIL_FRAME), nullptr, Proc,
                           reinterpret_cast<LPARAM>(this));
}

void UtilFrame::OnInit(HWND window)
{
    m_window = window;
    SetWindowTextA(window, m_title.c_str());
    ApplyControlTexts(window);
    HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_KOVAUTIL));
    SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));

    // The pages fill the frame right of the list, down to the refusals.
    RECT area = {100, 7, 473, 238};
    MapDialogRect(window, &area);
    HWND list = GetDlgItem(window, IDC_PAGE_LIST);
    for (size_t i = 0; i < m_pages.size(); ++i) {
        m_pages[i]->Create(window, area);
        AddListLine(list, LoadText(IDS_PAGE_NAMES + static_cast<UINT>(i)));
    }
    // The pages show what kova makes of the stored values from the start:
    // the check comes before the first page is shown.
    Check();
    SelectPage(m_firstPage >= 0 && m_firstPage < static_cast<int>(m_pages.size()) ? m_firstPage : 0);
}

void UtilFrame::SelectPage(int index)
{
    if (index < 0 || index >= static_cast<int>(m_pages.size()) || index == m_current) {
        return;
    }
    if (m_current >= 0) {
        m_pages[m_current]->Shown(false);
        ShowWindow(m_pages[m_current]->Window(), SW_HIDE);
    }
    m_current = index;
    SendDlgItemMessageA(m_window, IDC_PAGE_LIST, LB_SETCURSEL, index, 0);
    ShowWindow(m_pages[index]->Window(), SW_SHOW);
    m_pages[index]->Shown(true);
}

void UtilFrame::ScheduleCheck()
{
    if (!m_checkPending && m_window) {
        m_checkPending = true;
        PostMessageA(m_window, WM_APP_CHECK, 0, 0);
    }
}

std::vector<Refusal> UtilFrame::Check()
{
    m_checkPending = false;
    m_document.SetLastTrial(m_document.Trial());
    const TrialResult& trial = *m_document.LastTrial();
    std::vector<Refusal> refusals;
    m_document.FindRefusals(trial, refusals);
    for (auto& page : m_pages) {
        page->FindRefusals(trial, refusals);
        page->ShowTrial(trial);
    }
    HWND list = GetDlgItem(m_window, IDC_PROBLEMS);
    ResetList(list);
    for (const Refusal& refusal : refusals) {
        AddListLine(list, FormatText(IDS_PROBLEM_FORMAT, refusal.Place.c_str(), refusal.Name.c_str(),
                                     refusal.Reason.c_str()));
    }
    if (refusals.empty()) {
        AddListLine(list, LoadText(IDS_NO_PROBLEMS));
    }
    return refusals;
}

bool UtilFrame::Save()
{
    if (!Check().empty()) {
        // Nothing is written while kova would not take a value as meant.
        MessageBeep(MB_ICONWARNING);
        return false;
    }
    std::string place;
    LONG rc = m_document.Save(&place);
    if (rc != ERROR_SUCCESS) {
        char reason[256] = {};
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, static_cast<DWORD>(rc), 0,
                       reason, sizeof(reason), nullptr);
        MessageBoxA(m_window, FormatText(IDS_SAVE_FAILED, place.c_str(), reason).c_str(), m_caption.c_str(),
                    MB_OK | MB_ICONERROR);
        return false;
    }
    for (auto& page : m_pages) {
        page->Saved();
    }
    TellKova();
    Check();
    return true;
}

void UtilFrame::TellKova()
{
    HWND kova = FindKovaWindow();
    if (!kova) {
        return;  // it reads everything when it starts
    }
    if (m_document.SavedChangesOf(KeyTiming::AtStart)) {
        if (MessageBoxA(m_window, LoadText(IDS_RESTART_QUESTION).c_str(), m_caption.c_str(),
                        MB_YESNO | MB_ICONQUESTION) == IDYES) {
            if (!RestartKova()) {
                MessageBoxA(m_window, LoadText(IDS_RESTART_FAILED).c_str(), m_caption.c_str(), MB_OK | MB_ICONERROR);
            }
            return;  // the new kova has read everything
        }
    }
    if (m_document.SavedChangesOf(KeyTiming::Reload)) {
        // The user's on-screen settings and OSD_Enable: read again on this.
        PostMessageA(kova, WM_RELOAD_ONSCREEN, 1, 0);
    }
}

INT_PTR CALLBACK UtilFrame::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        reinterpret_cast<UtilFrame*>(lParam)->OnInit(window);
        return TRUE;
    }
    auto* frame = reinterpret_cast<UtilFrame*>(GetWindowLongPtrA(window, DWLP_USER));
    if (!frame) {
        return FALSE;
    }
    switch (message) {
    case WM_APP_CHECK:
        frame->Check();
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_PAGE_LIST:
            if (HIWORD(wParam) == LBN_SELCHANGE) {
                frame->SelectPage(SelectedLine(GetDlgItem(window, IDC_PAGE_LIST)));
            }
            return TRUE;
        case IDOK:
            if (frame->Save()) {
                EndDialog(window, IDOK);
            }
            return TRUE;
        case IDC_APPLY:
            frame->Save();
            return TRUE;
        case IDCANCEL:
            EndDialog(window, IDCANCEL);
            return TRUE;
        default:
            return FALSE;
        }
    case WM_DESTROY:
        if (frame->m_current >= 0) {
            frame->m_pages[frame->m_current]->Shown(false);
        }
        return FALSE;
    default:
        return FALSE;
    }
}
