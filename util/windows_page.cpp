#include "util/windows_page.h"

#include "base/scoped.h"
#include "config/config_report.h"
#include "config/target_window_table.h"
#include "util/dialog_text.h"
#include "util/util_resource.h"

#include <cstdio>

namespace {

constexpr int CATEGORY_COUNT = 7;
constexpr int CATEGORY_SHIFT = 16;
// The bits the page shows as boxes; the others of a stored value are kept.
constexpr uint32_t SHOWN_BITS = TARGET_OWN_MAXIMIZE | TARGET_FOREGROUND_ONLY | TARGET_CATEGORY_MASK;

std::string Name(int n, const char* field)
{
    char name[32];
    std::snprintf(name, sizeof(name), "Wnd%d_%s", n, field);
    return name;
}

bool Checked(HWND page, int id) { return IsDlgButtonChecked(page, id) == BST_CHECKED; }

void Check(HWND page, int id, bool on) { CheckDlgButton(page, id, on ? BST_CHECKED : BST_UNCHECKED); }

BOOL CALLBACK CollectWindow(HWND window, LPARAM context)
{
    auto* open = reinterpret_cast<std::vector<std::pair<std::string, std::string>>*>(context);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char title[TEXT_FIELD_SIZE] = {};
    char cls[TEXT_FIELD_SIZE] = {};
    // Windows a person can see and tell apart: visible, with a title, and
    // not the utility's own.
    if (pid == GetCurrentProcessId() || !IsWindowVisible(window) ||
        GetWindowTextA(window, title, sizeof(title)) <= 0 || GetClassNameA(window, cls, sizeof(cls)) <= 0) {
        return TRUE;
    }
    open->emplace_back(cls, title);
    return TRUE;
}

}  // namespace

WindowsPage::WindowsPage(UtilDocument& document) : UtilPage(document, IDD_PAGE_WINDOWS) {}

KeyImage& WindowsPage::Entries()
{
    return m_document.Candidate(HKEY_LOCAL_MACHINE, TARGET_WINDOWS_KEY, KeyTiming::AtStart);
}

int WindowsPage::StoredCount()
{
    const KeyImage& image = Entries();
    int n = 0;
    while (n < TARGET_WINDOW_STATIC_MAX && image.Find(Name(n + 1, "Class"))) {
        ++n;
    }
    return n;
}

void WindowsPage::OnInit()
{
    for (int i = 0; i < CATEGORY_COUNT; ++i) {
        char label[8];
        std::snprintf(label, sizeof(label), "%d", i);
        SetDlgItemTextA(m_window, IDC_WND_CATEGORY0 + i, label);
    }
    FillEntries();
}

void WindowsPage::Shown(bool shown)
{
    if (shown) {
        FillOpenWindows();
    }
}

void WindowsPage::FillEntries()
{
    FillingScope filling(m_filling);
    HWND list = Item(IDC_WND_LIST);
    int selected = SelectedLine(list);
    ResetList(list);
    const KeyImage& image = Entries();
    for (int n = 1; n <= StoredCount(); ++n) {
        std::string cls = "?";
        std::string title;
        uint32_t message = 100;
        uint32_t control = 0;
        image.Text(Name(n, "Class"), &cls);
        image.Text(Name(n, "Title"), &title);
        image.Number(Name(n, "Msg"), &message);
        image.Number(Name(n, "Control"), &control);
        AddListLine(list, FormatText(IDS_WND_ENTRY, n, cls.c_str(), title.c_str(), static_cast<unsigned long>(message),
                                     static_cast<unsigned long>(control)));
    }
    SendMessageA(list, LB_SETCURSEL, selected, 0);
}

void WindowsPage::FillOpenWindows()
{
    std::vector<std::pair<std::string, std::string>> found;
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&found));
    m_open.clear();
    HWND list = Item(IDC_WND_OPEN);
    ResetList(list);
    for (const auto& [cls, title] : found) {
        m_open.push_back({cls, title});
        AddListLine(list, cls + "  -  " + title);
    }
}

void WindowsPage::FillClients(const TrialResult&)
{
    HWND list = Item(IDC_WND_CLIENTS);
    ResetList(list);
    HKEY raw = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, SEND_WINDOW_KEY, 0, KEY_READ, &raw) != ERROR_SUCCESS) {
        AddListLine(list, LoadText(IDS_WND_NO_CLIENTS));
        return;
    }
    ScopedRegKey key(raw);
    // kova's own reading of the values, the one it applies on every change.
    SendWindowRegistrations registrations;
    GatherSendWindowRegistrations(key.get(), &registrations);
    int shown = 0;
    for (int n = 1; n <= SEND_WINDOW_REGISTRATION_MAX; ++n) {
        const SendWindowRegistration& r = registrations.Slot[n - 1];
        if (r.Window == 0) {
            continue;
        }
        HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(r.Window));
        UINT format = IsWindow(window) ? IDS_WND_CLIENT : IDS_WND_CLIENT_GONE;
        AddListLine(list, FormatText(format, n, static_cast<unsigned long>(r.Window),
                                     static_cast<unsigned long>(TARGET_MESSAGE_BASE + r.Message),
                                     static_cast<unsigned long>(NormalizeTargetCategories(r.Categories))));
        ++shown;
    }
    if (shown == 0) {
        AddListLine(list, LoadText(IDS_WND_NO_CLIENTS));
    }
}

void WindowsPage::ShowTrial(const TrialResult& trial)
{
    FillEntries();
    FillClients(trial);
}

void WindowsPage::FindRefusals(const TrialResult& trial, std::vector<Refusal>& out)
{
    // An entry that kova's list never reaches: the one it ends at was taken
    // but is empty once trimmed (the loader's other refusals are named by
    // the document's check of the value itself).
    int reached = trial.Windows->StaticCount();
    int count = StoredCount();
    const KeyImage& original = m_document.Original(HKEY_LOCAL_MACHINE, TARGET_WINDOWS_KEY);
    if (reached >= count || DiffValues(original, Entries()).empty()) {
        return;
    }
    std::string name = Name(reached + 1, "Class");
    const ValueRead* read = FindValueRead(trial.Reads, HKEY_LOCAL_MACHINE, TARGET_WINDOWS_KEY, name.c_str());
    std::string why = read ? DescribeIgnoredRead(*read) : std::string(NOT_READ_NOTE);
    out.push_back({Entries().PlaceName(), name, "the list ends here: " + (why.empty() ? "empty once trimmed" : why)});
}

void WindowsPage::ShowEntry(int n)
{
    const KeyImage& image = Entries();
    std::string cls;
    std::string title;
    uint32_t message = 0;
    uint32_t control = 0;
    image.Text(Name(n, "Class"), &cls);
    image.Text(Name(n, "Title"), &title);
    bool haveMessage = image.Number(Name(n, "Msg"), &message);
    image.Number(Name(n, "Control"), &control);
    SetControlText(m_window, IDC_WND_CLASS, cls);
    SetControlText(m_window, IDC_WND_TITLE, title);
    SetControlText(m_window, IDC_WND_MSG, haveMessage ? std::to_string(message) : std::string());
    Check(m_window, IDC_WND_OWN_MAXIMIZE, control & TARGET_OWN_MAXIMIZE);
    Check(m_window, IDC_WND_FOREGROUND_ONLY, control & TARGET_FOREGROUND_ONLY);
    for (int i = 0; i < CATEGORY_COUNT; ++i) {
        Check(m_window, IDC_WND_CATEGORY0 + i, control & (1u << (CATEGORY_SHIFT + i)));
    }
}

bool WindowsPage::WriteEntry(int n)
{
    std::string messageText = ControlText(m_window, IDC_WND_MSG);
    uint32_t message = 0;
    bool haveMessage = messageText.find_first_not_of(" \t") != std::string::npos;
    if (haveMessage && !ParseNumber(messageText, &message)) {
        std::string label = ControlText(m_window, IDC_WND_MSG_LABEL);
        MessageBoxA(m_window, FormatText(IDS_NOT_A_NUMBER, label.c_str()).c_str(), nullptr, MB_OK | MB_ICONWARNING);
        SetFocus(Item(IDC_WND_MSG));
        return false;
    }
    KeyImage& image = Entries();
    uint32_t control = 0;
    image.Number(Name(n, "Control"), &control);
    control &= ~SHOWN_BITS;
    control |= Checked(m_window, IDC_WND_OWN_MAXIMIZE) ? TARGET_OWN_MAXIMIZE : 0;
    control |= Checked(m_window, IDC_WND_FOREGROUND_ONLY) ? TARGET_FOREGROUND_ONLY : 0;
    for (int i = 0; i < CATEGORY_COUNT; ++i) {
        control |= Checked(m_window, IDC_WND_CATEGORY0 + i) ? 1u << (CATEGORY_SHIFT + i) : 0;
    }
    image.SetText(Name(n, "Class"), ControlText(m_window, IDC_WND_CLASS));
    std::string title = ControlText(m_window, IDC_WND_TITLE);
    if (title.empty()) {
        image.Remove(Name(n, "Title"));
    } else {
        image.SetText(Name(n, "Title"), title);
    }
    if (control) {
        image.SetNumber(Name(n, "Control"), control);
    } else {
        image.Remove(Name(n, "Control"));
    }
    if (haveMessage) {
        image.SetNumber(Name(n, "Msg"), message);
    } else {
        image.Remove(Name(n, "Msg"));
    }
    return true;
}

void WindowsPage::OnCommand(int id, int code)
{
    int count = StoredCount();
    int selected = SelectedLine(Item(IDC_WND_LIST));
    switch (id) {
    case IDC_WND_LIST:
        if (code == LBN_SELCHANGE && selected >= 0) {
            ShowEntry(selected + 1);
        }
        break;
    case IDC_WND_ADD:
        if (count < TARGET_WINDOW_STATIC_MAX && WriteEntry(count + 1)) {
            Changed();
        }
        break;
    case IDC_WND_CHANGE:
        if (selected >= 0 && WriteEntry(selected + 1)) {
            Changed();
        }
        break;
    case IDC_WND_REMOVE:
        if (selected >= 0) {
            RemoveListEntry(Entries(), selected + 1, count, {"Class", "Title", "Control", "Msg"}, Name);
            Changed();
        }
        break;
    case IDC_WND_OPEN:
        if (code != LBN_DBLCLK) {
            break;
        }
        [[fallthrough]];
    case IDC_WND_PICK: {
        int picked = SelectedLine(Item(IDC_WND_OPEN));
        if (picked >= 0 && picked < static_cast<int>(m_open.size())) {
            SetControlText(m_window, IDC_WND_CLASS, m_open[picked].Class);
            SetControlText(m_window, IDC_WND_TITLE, m_open[picked].Title);
        }
        break;
    }
    case IDC_WND_REFRESH:
        FillOpenWindows();
        break;
    default:
        break;
    }
}
