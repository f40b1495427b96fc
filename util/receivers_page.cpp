#include "util/receivers_page.h"

#include "config/device_identities.h"
#include "util/collections.h"
#include "util/dialog_text.h"
#include "util/util_resource.h"

#include <cstdio>

namespace {

constexpr UINT WM_APP_REFRESH_PRESENT = WM_APP + 1;

std::string Name(int n, const char* stem)
{
    char name[32];
    std::snprintf(name, sizeof(name), "%s%d", stem, n);
    return name;
}

}  // namespace

ReceiversPage::ReceiversPage(UtilDocument& document) : UtilPage(document, IDD_PAGE_RECEIVERS) {}

ReceiversPage::~ReceiversPage()
{
    if (m_notice) {
        GetHidBackend().UnregisterNotice(m_notice);
    }
}

KeyImage& ReceiversPage::Identities()
{
    return m_document.Candidate(HKEY_LOCAL_MACHINE, DEVICE_IDENTITY_KEY, KeyTiming::AtStart);
}

void ReceiversPage::OnInit()
{
    // Plugging and unplugging a receiver refreshes the list of collections.
    m_notice = GetHidBackend().RegisterInterfaceNotice(m_window);
    FillIdentities();
}

int ReceiversPage::StoredCount()
{
    const KeyImage& image = Identities();
    int n = 0;
    while (n < DEVICE_IDENTITY_MAX &&
           (image.Find(Name(n + 1, "ProductID")) || image.Find(Name(n + 1, "VendorID")))) {
        ++n;
    }
    return n;
}

void ReceiversPage::FillIdentities()
{
    FillingScope filling(m_filling);
    HWND list = Item(IDC_RCV_IDENTITIES);
    int selected = SelectedLine(list);
    ResetList(list);
    const KeyImage& image = Identities();
    for (int n = 1; n <= StoredCount(); ++n) {
        uint32_t vendor = 0;
        uint32_t product = 0;
        std::string word;
        bool haveVendor = image.Number(Name(n, "VendorID"), &vendor);
        bool haveProduct = image.Number(Name(n, "ProductID"), &product);
        bool haveWord = image.Text(Name(n, "ChkPathWord"), &word) && !word.empty();
        char line[800];
        std::snprintf(line, sizeof(line), "%d: %s%04lX  %s%04lX  %s", n, haveVendor ? "0x" : "?",
                      static_cast<unsigned long>(vendor), haveProduct ? "0x" : "?",
                      static_cast<unsigned long>(product), haveWord ? word.c_str() : LoadText(IDS_ANY_PATH).c_str());
        AddListLine(list, line);
    }
    SendMessageA(list, LB_SETCURSEL, selected, 0);
}

void ReceiversPage::FillPresent()
{
    const TrialResult* trial = m_document.LastTrial();
    if (!trial) {
        return;
    }
    HWND list = Item(IDC_RCV_PRESENT);
    ResetList(list);
    std::vector<CollectionInfo> present = ListCollections();
    for (const CollectionInfo& c : present) {
        UINT verdict = IDS_PRESENT_NO_IDENTITY;
        if (!IsReceiverUsage(c.UsagePage, c.Usage)) {
            verdict = IDS_PRESENT_NOT_RECEIVER;
        } else if (MatchDeviceIdentity(trial->Identities, c.UsagePage, c.Usage, c.VendorID, c.ProductID, c.Path.c_str(),
                                       nullptr)) {
            verdict = IDS_PRESENT_MATCH;
        }
        char line[1200];
        std::snprintf(line, sizeof(line), "%04X/%04X  %04X:%04X  %s  %s", c.VendorID, c.ProductID, c.UsagePage,
                      c.Usage, LoadText(verdict).c_str(), c.Path.c_str());
        AddListLine(list, line);
    }
    if (present.empty()) {
        AddListLine(list, LoadText(IDS_PRESENT_NONE));
    }
}

void ReceiversPage::Shown(bool shown)
{
    if (shown) {
        FillPresent();
    }
}

void ReceiversPage::ShowTrial(const TrialResult&)
{
    FillIdentities();
    // Looking at the collections opens each one: only while the page shows.
    if (IsWindowVisible(m_window)) {
        FillPresent();
    }
}

bool ReceiversPage::ReadFields(uint32_t* vendor, uint32_t* product, std::string* word)
{
    for (int id : {IDC_RCV_VENDOR, IDC_RCV_PRODUCT}) {
        uint32_t value = 0;
        if (!ParseNumber(ControlText(m_window, id), &value) || value > 0xFFFF) {
            std::string label = ControlText(m_window, id - 1);
            MessageBoxA(m_window, FormatText(IDS_NOT_A_NUMBER, label.c_str()).c_str(), nullptr, MB_OK | MB_ICONWARNING);
            SetFocus(Item(id));
            return false;
        }
        *(id == IDC_RCV_VENDOR ? vendor : product) = value;
    }
    *word = ControlText(m_window, IDC_RCV_PATHWORD);
    return true;
}

void ReceiversPage::WriteEntry(int n, uint32_t vendor, uint32_t product, const std::string& word)
{
    KeyImage& image = Identities();
    image.SetNumber(Name(n, "VendorID"), vendor);
    image.SetNumber(Name(n, "ProductID"), product);
    if (word.empty()) {
        image.Remove(Name(n, "ChkPathWord"));
    } else {
        image.SetText(Name(n, "ChkPathWord"), word);
    }
}

void ReceiversPage::OnCommand(int id, int code)
{
    int count = StoredCount();
    int selected = SelectedLine(Item(IDC_RCV_IDENTITIES));
    uint32_t vendor = 0;
    uint32_t product = 0;
    std::string word;
    switch (id) {
    case IDC_RCV_IDENTITIES:
        if (code == LBN_SELCHANGE && selected >= 0) {
            const KeyImage& image = Identities();
            image.Number(Name(selected + 1, "VendorID"), &vendor);
            image.Number(Name(selected + 1, "ProductID"), &product);
            image.Text(Name(selected + 1, "ChkPathWord"), &word);
            char text[16];
            std::snprintf(text, sizeof(text), "0x%04lX", static_cast<unsigned long>(vendor));
            SetControlText(m_window, IDC_RCV_VENDOR, text);
            std::snprintf(text, sizeof(text), "0x%04lX", static_cast<unsigned long>(product));
            SetControlText(m_window, IDC_RCV_PRODUCT, text);
            SetControlText(m_window, IDC_RCV_PATHWORD, word);
        }
        break;
    case IDC_RCV_ADD:
        if (count < DEVICE_IDENTITY_MAX && ReadFields(&vendor, &product, &word)) {
            WriteEntry(count + 1, vendor, product, word);
            Changed();
        }
        break;
    case IDC_RCV_CHANGE:
        if (selected >= 0 && ReadFields(&vendor, &product, &word)) {
            WriteEntry(selected + 1, vendor, product, word);
            Changed();
        }
        break;
    case IDC_RCV_REMOVE:
        if (selected >= 0) {
            RemoveListEntry(Identities(), selected + 1, count, {"VendorID", "ProductID", "ChkPathWord"}, Name);
            Changed();
        }
        break;
    case IDC_RCV_REFRESH:
        FillPresent();
        break;
    default:
        break;
    }
}

INT_PTR ReceiversPage::OnMessage(UINT message, WPARAM, LPARAM)
{
    switch (message) {
    case WM_DEVICECHANGE:
        // Sent while the receiver waits for the answer: the list is made
        // afterwards.
        PostMessageA(m_window, WM_APP_REFRESH_PRESENT, 0, 0);
        SetWindowLongPtrA(m_window, DWLP_MSGRESULT, TRUE);
        return TRUE;
    case WM_APP_REFRESH_PRESENT:
        FillPresent();
        return TRUE;
    default:
        return FALSE;
    }
}
