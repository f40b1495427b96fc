#include "util/profiles_page.h"

#include "launch/kova_lnch_ctrl.h"
#include "launch/tesk_lnch_ctrl.h"
#include "util/dialog_text.h"
#include "util/util_resource.h"

#include <commctrl.h>
#include <commdlg.h>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr char CURRENT_SET_VALUE[] = "CurrSetting";
constexpr const char* MODE_LETTERS[] = {"M", "S", "P", "K"};
constexpr int MODE_KEYS = 3;  // index of "K"
// The user's sets offered: those stored and one more.
constexpr int USER_SET_MAX = 20;

std::string Format(const char* format, int a, int b = 0)
{
    char text[64];
    std::snprintf(text, sizeof(text), format, a, b);
    return text;
}

int ModeIndex(const std::string& mode)
{
    for (int i = 0; i < 4; ++i) {
        if (!mode.empty() && mode[0] == MODE_LETTERS[i][0]) {
            return i;
        }
    }
    return -1;
}

}  // namespace

std::string AssignmentPlace::KeyPath() const
{
    if (!OneTouch) {
        return LAUNCH_PROFILES_KEY;
    }
    char path[256];
    if (Set == 0) {
        std::snprintf(path, sizeof(path), "%s\\%s%d", ONE_TOUCH_DEFAULT_SET_KEY, ONE_TOUCH_BUTTON_KEY_PREFIX, Button);
    } else {
        std::snprintf(path, sizeof(path), "%s%d\\%s%d", ONE_TOUCH_USER_SET_PREFIX, Set, ONE_TOUCH_BUTTON_KEY_PREFIX,
                      Button);
    }
    return path;
}

LaunchAssignment ReadAssignment(const KeyImage& image, const AssignmentPlace& place)
{
    LaunchAssignment a;
    int n = place.Button;
    std::string countText;
    uint32_t count = 0;
    if (place.OneTouch) {
        image.Text("DispTitle", &a.Name);
        image.Text("Execute", &a.Mode);
        image.Text("Work", &a.Work);
        image.Number("NumAP", &count);
    } else {
        image.Text(Format("Btn%d_Name", n), &a.Name);
        image.Text(Format("Btn%d_Exec", n), &a.Mode);
        image.Text(Format("Btn%d_NumAp", n), &countText);
        count = static_cast<uint32_t>(std::strtoul(countText.c_str(), nullptr, 10));
    }
    // Every stored entry, also beyond the count, so that nothing is lost.
    for (int k = 1; k <= LAUNCH_ENTRY_MAX; ++k) {
        std::string entry;
        if (!image.Text(Format("Btn%d_AP%d", n, k), &entry) && k > static_cast<int>(count)) {
            break;
        }
        std::string work;
        if (!place.OneTouch) {
            image.Text(Format("Btn%d_Work%d", n, k), &work);
        }
        a.Entries.push_back(entry);
        a.Works.push_back(work);
    }
    return a;
}

void WriteAssignment(KeyImage& image, const AssignmentPlace& place, const LaunchAssignment& a)
{
    int n = place.Button;
    int count = static_cast<int>(a.Entries.size());
    auto setOrRemove = [&image](const std::string& name, const std::string& text) {
        if (text.empty()) {
            image.Remove(name);
        } else {
            image.SetText(name, text);
        }
    };
    if (place.OneTouch) {
        image.SetText("DispTitle", a.Name);
        image.SetText("Execute", a.Mode);
        image.SetNumber("NumAP", static_cast<uint32_t>(count));
        setOrRemove("Work", a.Work);
    } else {
        image.SetText(Format("Btn%d_Name", n), a.Name);
        image.SetText(Format("Btn%d_Exec", n), a.Mode);
        image.SetText(Format("Btn%d_NumAp", n), std::to_string(count));
    }
    for (int k = 1; k <= LAUNCH_ENTRY_MAX; ++k) {
        std::string entry = k <= count ? a.Entries[k - 1] : std::string();
        if (k <= count) {
            image.SetText(Format("Btn%d_AP%d", n, k), entry);
        } else {
            image.Remove(Format("Btn%d_AP%d", n, k));
        }
        if (!place.OneTouch) {
            setOrRemove(Format("Btn%d_Work%d", n, k), k <= count ? a.Works[k - 1] : std::string());
        }
    }
}

bool KeyCombinationOf(WORD hotKey, uint32_t* combination)
{
    BYTE vk = LOBYTE(hotKey);
    BYTE modifiers = HIBYTE(hotKey) & (HOTKEYF_SHIFT | HOTKEYF_CONTROL | HOTKEYF_ALT);
    if (vk == 0) {
        return false;
    }
    BYTE first = 0;
    switch (modifiers) {
    case 0: break;
    case HOTKEYF_SHIFT: first = VK_SHIFT; break;
    case HOTKEYF_CONTROL: first = VK_CONTROL; break;
    case HOTKEYF_ALT: first = VK_MENU; break;
    default: return false;  // two keys at most
    }
    auto scan = [](BYTE key) { return static_cast<uint32_t>(MapVirtualKeyA(key, MAPVK_VK_TO_VSC) & 0xFF); };
    uint32_t keyPart = static_cast<uint32_t>(vk) << 8 | scan(vk);
    *combination = first ? (static_cast<uint32_t>(first) << 24 | scan(first) << 16 | keyPart) : keyPart << 16;
    return true;
}

std::string KeyCombinationText(uint32_t combination)
{
    std::string text;
    for (int shift : {16, 0}) {
        uint32_t scan = (combination >> shift) & 0xFF;
        uint32_t vk = (combination >> (shift + 8)) & 0xFF;
        if (vk == 0) {
            continue;
        }
        char name[64] = {};
        if (GetKeyNameTextA(static_cast<LONG>(scan << 16), name, sizeof(name)) <= 0) {
            std::snprintf(name, sizeof(name), "0x%02lX", static_cast<unsigned long>(vk));
        }
        text += (text.empty() ? "" : "+") + std::string(name);
    }
    return text;
}

ProfilesPage::ProfilesPage(UtilDocument& document) : UtilPage(document, IDD_PAGE_PROFILES) {}

ProfilesPage::~ProfilesPage() = default;

KeyImage& ProfilesPage::Image(const AssignmentPlace& place)
{
    return m_document.Candidate(place.Root(), place.KeyPath(), KeyTiming::EachPress);
}

void ProfilesPage::OnInit()
{
    HWND mode = Item(IDC_PRF_MODE);
    for (int i = 1; i <= 4; ++i) {
        SendMessageA(mode, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(LoadText(IDS_MODE_NAMES + i).c_str()));
    }
    FillPlaces();
    FillCurrentSet();
    FillAssignment();
}

void ProfilesPage::FillPlaces()
{
    m_places.clear();
    HWND which = Item(IDC_PRF_WHICH);
    SendMessageA(which, CB_RESETCONTENT, 0, 0);
    auto add = [&](const AssignmentPlace& place, const std::string& label) {
        m_places.push_back(place);
        SendMessageA(which, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label.c_str()));
    };
    for (int n = 1; n <= static_cast<int>(PROFILE_COUNT); ++n) {
        std::string buttons = LoadText(IDS_PROFILE_BUTTONS + static_cast<UINT>(n - 1));
        add({false, 0, n}, FormatText(IDS_PROFILE_REMOTE, n, buttons.c_str()));
    }
    for (int b = 1; b <= ONE_TOUCH_BUTTON_COUNT; ++b) {
        add({true, 0, b}, FormatText(IDS_PROFILE_ONE_TOUCH_DEFAULT, b));
    }
    // The user's sets that exist, and the next one.
    int sets = 0;
    while (sets < USER_SET_MAX) {
        HKEY key = nullptr;
        std::string path = std::string(ONE_TOUCH_USER_SET_PREFIX) + std::to_string(sets + 1);
        if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
            break;
        }
        RegCloseKey(key);
        ++sets;
    }
    for (int s = 1; s <= sets + 1 && s <= USER_SET_MAX; ++s) {
        for (int b = 1; b <= ONE_TOUCH_BUTTON_COUNT; ++b) {
            add({true, s, b}, FormatText(IDS_PROFILE_ONE_TOUCH_USER, s, b));
        }
    }
    SendMessageA(which, CB_SETCURSEL, 0, 0);
    m_place = m_places.front();

    HWND current = Item(IDC_PRF_CURRENT);
    SendMessageA(current, CB_RESETCONTENT, 0, 0);
    SendMessageA(current, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(LoadText(IDS_CURRENT_DEFAULT).c_str()));
    for (int s = 1; s <= sets + 1 && s <= USER_SET_MAX; ++s) {
        SendMessageA(current, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(FormatText(IDS_CURRENT_USER, s).c_str()));
    }
}

void ProfilesPage::FillCurrentSet()
{
    uint32_t set = 0;
    m_document.Candidate(HKEY_CURRENT_USER, ONE_TOUCH_USER_KEY).Number(CURRENT_SET_VALUE, &set);
    SendMessageA(Item(IDC_PRF_CURRENT), CB_SETCURSEL, set, 0);
}

void ProfilesPage::FillAssignment()
{
    FillingScope filling(m_filling);
    LaunchAssignment a = ReadAssignment(Image(m_place), m_place);
    SetControlText(m_window, IDC_PRF_NAME, a.Name);
    SendMessageA(Item(IDC_PRF_MODE), CB_SETCURSEL, ModeIndex(a.Mode), 0);
    HWND list = Item(IDC_PRF_ENTRIES);
    int selected = SelectedLine(list);
    ResetList(list);
    bool keys = ModeIndex(a.Mode) == MODE_KEYS;
    for (size_t k = 0; k < a.Entries.size(); ++k) {
        std::string line = std::to_string(k + 1) + ": ";
        uint32_t combination = 0;
        if (keys && ParseNumber(a.Entries[k], &combination)) {
            line += FormatText(IDS_KEY_ENTRY, KeyCombinationText(combination).c_str(), a.Entries[k].c_str());
        } else {
            line += a.Entries[k];
        }
        if (!a.Works[k].empty()) {
            line += "   [" + a.Works[k] + "]";
        }
        AddListLine(list, line);
    }
    SendMessageA(list, LB_SETCURSEL, selected, 0);
    EnableWindow(Item(IDC_PRF_KEYS), keys);
    EnableWindow(Item(IDC_PRF_PATH), !keys);
    EnableWindow(Item(IDC_PRF_PARAMS), !keys);
    EnableWindow(Item(IDC_PRF_BROWSE), !keys);
    if (m_place.OneTouch) {
        SetControlText(m_window, IDC_PRF_WORK, a.Work);
    }
}

void ProfilesPage::ShowTrial(const TrialResult&)
{
    FillAssignment();
    LaunchAssignment a = ReadAssignment(Image(m_place), m_place);
    std::string state;
    if (a.Name.empty() && a.Entries.empty()) {
        state = LoadText(IDS_PROFILE_EMPTY);
    } else if (LoaderAccepts(m_place)) {
        state = LoadText(IDS_PROFILE_USABLE);
    } else {
        state = FormatText(IDS_PROFILE_UNUSABLE, WhyUnusable(a).c_str());
    }
    SetControlText(m_window, IDC_PRF_STATE, state);
}

bool ProfilesPage::LoaderAccepts(const AssignmentPlace& place)
{
    // Made outside any trial, so that the program's store they share is
    // read from the stored values; only the profile reads see candidates.
    if (!m_remote) {
        m_remote = std::make_unique<CKovaLnchCtrl>(nullptr, nullptr);
        m_oneTouch = std::make_unique<CTeskLnchCtrl>();
    }
    // The one-touch loader reads the button of the user's current set: the
    // set judged is made current in the trial, ahead of the candidate.
    KeyImage user = m_document.Candidate(HKEY_CURRENT_USER, ONE_TOUCH_USER_KEY);
    if (place.Set == 0) {
        user.Remove(CURRENT_SET_VALUE);
    } else {
        user.SetNumber(CURRENT_SET_VALUE, static_cast<uint32_t>(place.Set));
    }
    TrialLoad trial;
    trial.Place(user);
    for (const KeyImage* image : m_document.ChangedCandidates()) {
        trial.Place(*image);
    }
    const uint32_t index = static_cast<uint32_t>(place.Button - 1);
    return place.OneTouch ? m_oneTouch->LoadOneTouchProfile(index) != FALSE
                          : m_remote->LoadButtonProfile(index) != FALSE;
}

std::string ProfilesPage::WhyUnusable(const LaunchAssignment& a) const
{
    if (a.Name.empty()) {
        return LoadText(IDS_WHY_NO_NAME);
    }
    if (a.Entries.empty() || a.Entries.size() > LAUNCH_ENTRY_MAX) {
        return LoadText(IDS_WHY_COUNT);
    }
    const int mode = ModeIndex(a.Mode);
    if (mode < 0) {
        return LoadText(IDS_WHY_MODE);
    }
    for (size_t k = 0; k < a.Entries.size(); ++k) {
        const int number = static_cast<int>(k + 1);
        if (a.Entries[k].empty()) {
            return FormatText(IDS_WHY_ENTRY_EMPTY, number);
        }
        if (mode == MODE_KEYS) {
            continue;
        }
        // The launcher's own split and path rules.
        char path[LAUNCH_EXEC_SIZE] = {};
        char params[LAUNCH_PARAMS_SIZE] = {};
        CLnchCtrl::SplitCommandEntry(a.Entries[k].c_str(), path, params);
        char resolved[LAUNCH_EXEC_SIZE] = {};
        std::snprintf(resolved, sizeof(resolved), "%s", path);
        if (!CLnchCtrl::ResolveExecutablePath(resolved, sizeof(resolved))) {
            return FormatText(IDS_WHY_NOT_FOUND, number, path);
        }
    }
    // What is left: the TV profiles take only what the installed TV
    // application can use.
    return LoadText(IDS_WHY_OTHER);
}

void ProfilesPage::FindRefusals(const TrialResult&, std::vector<Refusal>& out)
{
    // Every assignment changed and not cleared must load in kova as it is.
    for (const AssignmentPlace& place : m_places) {
        if (!m_document.Has(place.Root(), place.KeyPath())) {
            continue;  // never shown, so never changed
        }
        const KeyImage& original = m_document.Original(place.Root(), place.KeyPath());
        KeyImage& candidate = Image(place);
        const std::string stem = place.OneTouch ? std::string() : Format("Btn%d_", place.Button);
        bool changed = false;
        for (const ValueChange& change : DiffValues(original, candidate)) {
            changed = changed || change.Name.compare(0, stem.size(), stem) == 0;
        }
        LaunchAssignment a = ReadAssignment(candidate, place);
        if (!changed || (a.Name.empty() && a.Entries.empty()) || LoaderAccepts(place)) {
            continue;
        }
        out.push_back({candidate.PlaceName(), place.OneTouch ? "DispTitle" : Format("Btn%d_Name", place.Button),
                       FormatText(IDS_PROFILE_UNUSABLE, WhyUnusable(a).c_str())});
    }
}

void ProfilesPage::Store(const LaunchAssignment& a)
{
    WriteAssignment(Image(m_place), m_place, a);
    Changed();
}

bool ProfilesPage::EntryFromFields(const LaunchAssignment& a, std::string* entry, std::string* work)
{
    *work = ControlText(m_window, IDC_PRF_WORK);
    if (ModeIndex(a.Mode) == MODE_KEYS) {
        WORD hotKey = LOWORD(SendMessageA(Item(IDC_PRF_KEYS), HKM_GETHOTKEY, 0, 0));
        uint32_t combination = 0;
        if (!KeyCombinationOf(hotKey, &combination)) {
            return false;
        }
        *entry = std::to_string(combination);
        return true;
    }
    std::string path = ControlText(m_window, IDC_PRF_PATH);
    std::string params = ControlText(m_window, IDC_PRF_PARAMS);
    if (path.empty()) {
        return false;
    }
    *entry = params.empty() ? path : path + "|" + params;
    return true;
}

void ProfilesPage::ShowEntry(int index)
{
    LaunchAssignment a = ReadAssignment(Image(m_place), m_place);
    if (index < 0 || index >= static_cast<int>(a.Entries.size())) {
        return;
    }
    const std::string& entry = a.Entries[index];
    size_t bar = entry.find('|');
    SetControlText(m_window, IDC_PRF_PATH, entry.substr(0, bar));
    SetControlText(m_window, IDC_PRF_PARAMS, bar == std::string::npos ? std::string() : entry.substr(bar + 1));
    if (!m_place.OneTouch) {
        SetControlText(m_window, IDC_PRF_WORK, a.Works[index]);
    }
}

void ProfilesPage::Browse()
{
    char file[MAX_PATH] = {};
    std::string current = ControlText(m_window, IDC_PRF_PATH);
    std::snprintf(file, sizeof(file), "%s", current.c_str());
    // The filter's parts are separated by '|' in the string table.
    std::string filter = LoadText(IDS_PICK_PROGRAM_FILTER);
    for (char& c : filter) {
        c = c == '|' ? '\0' : c;
    }
    filter.push_back('\0');
    OPENFILENAMEA open{};
    open.lStructSize = sizeof(open);
    open.hwndOwner = m_window;
    open.lpstrFilter = filter.c_str();
    open.lpstrFile = file;
    open.nMaxFile = sizeof(file);
    // A shortcut is taken as the shortcut: kova starts it through the shell.
    open.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_NODEREFERENCELINKS | OFN_NOCHANGEDIR;
    if (GetOpenFileNameA(&open)) {
        SetControlText(m_window, IDC_PRF_PATH, file);
    }
}

void ProfilesPage::OnCommand(int id, int code)
{
    LaunchAssignment a = ReadAssignment(Image(m_place), m_place);
    int selected = SelectedLine(Item(IDC_PRF_ENTRIES));
    std::string entry;
    std::string work;
    switch (id) {
    case IDC_PRF_WHICH:
        if (code == CBN_SELCHANGE) {
            int index = static_cast<int>(SendMessageA(Item(IDC_PRF_WHICH), CB_GETCURSEL, 0, 0));
            if (index >= 0 && index < static_cast<int>(m_places.size())) {
                m_place = m_places[index];
                FillAssignment();
            }
        }
        break;
    case IDC_PRF_NAME:
        if (code == EN_CHANGE) {
            a.Name = ControlText(m_window, IDC_PRF_NAME);
            Store(a);
        }
        break;
    case IDC_PRF_MODE:
        if (code == CBN_SELCHANGE) {
            int mode = static_cast<int>(SendMessageA(Item(IDC_PRF_MODE), CB_GETCURSEL, 0, 0));
            if (mode >= 0 && mode < 4) {
                a.Mode = MODE_LETTERS[mode];
                Store(a);
            }
        }
        break;
    case IDC_PRF_WORK:
        if (code == EN_CHANGE && m_place.OneTouch) {
            a.Work = ControlText(m_window, IDC_PRF_WORK);
            Store(a);
        }
        break;
    case IDC_PRF_ENTRIES:
        if (code == LBN_SELCHANGE) {
            ShowEntry(selected);
        }
        break;
    case IDC_PRF_ADD:
    case IDC_PRF_CHANGE:
        if (!EntryFromFields(a, &entry, &work)) {
            MessageBeep(MB_ICONWARNING);
            break;
        }
        if (id == IDC_PRF_ADD && static_cast<int>(a.Entries.size()) < LAUNCH_ENTRY_MAX) {
            a.Entries.push_back(entry);
            a.Works.push_back(m_place.OneTouch ? std::string() : work);
        } else if (id == IDC_PRF_CHANGE && selected >= 0 && selected < static_cast<int>(a.Entries.size())) {
            a.Entries[selected] = entry;
            a.Works[selected] = m_place.OneTouch ? std::string() : work;
        } else {
            break;
        }
        Store(a);
        break;
    case IDC_PRF_REMOVE:
        if (selected >= 0 && selected < static_cast<int>(a.Entries.size())) {
            a.Entries.erase(a.Entries.begin() + selected);
            a.Works.erase(a.Works.begin() + selected);
            Store(a);
        }
        break;
    case IDC_PRF_CLEAR: {
        // No values at all: the button does nothing (or shows its notice).
        KeyImage& image = Image(m_place);
        LaunchAssignment empty;
        WriteAssignment(image, m_place, empty);
        if (m_place.OneTouch) {
            image.Values.clear();
        } else {
            for (const char* stem : {"Btn%d_Name", "Btn%d_Exec", "Btn%d_NumAp"}) {
                image.Remove(Format(stem, m_place.Button));
            }
        }
        Changed();
        break;
    }
    case IDC_PRF_BROWSE:
        Browse();
        break;
    case IDC_PRF_CURRENT:
        if (code == CBN_SELCHANGE) {
            int set = static_cast<int>(SendMessageA(Item(IDC_PRF_CURRENT), CB_GETCURSEL, 0, 0));
            KeyImage& user = m_document.Candidate(HKEY_CURRENT_USER, ONE_TOUCH_USER_KEY);
            if (set == 0) {
                user.Remove(CURRENT_SET_VALUE);
            } else if (set > 0) {
                user.SetNumber(CURRENT_SET_VALUE, static_cast<uint32_t>(set));
            }
            Changed();
        }
        break;
    default:
        break;
    }
}
