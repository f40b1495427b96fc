#pragma once
// Receivers: the identity table (vendor and product id, path word) and the
// collections present, each with whether kova would open it as the
// receiver under the table as it stands on the page.

#include "util/util_page.h"

#include "hid/hid_backend.h"

class ReceiversPage : public UtilPage {
public:
    explicit ReceiversPage(UtilDocument& document);
    ~ReceiversPage() override;

    void Shown(bool shown) override;
    void ShowTrial(const TrialResult& trial) override;

protected:
    void OnInit() override;
    void OnCommand(int id, int code) override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    KeyImage& Identities();
    // Entries 1.. as stored, up to the first without either id.
    int StoredCount();
    bool ReadFields(uint32_t* vendor, uint32_t* product, std::string* word);
    void WriteEntry(int n, uint32_t vendor, uint32_t product, const std::string& word);
    void FillIdentities();
    void FillPresent();

    HDEVNOTIFY m_notice = nullptr;
};
