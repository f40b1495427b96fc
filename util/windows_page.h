#pragma once
// Target windows: the configured entries (class, title, message,
// categories), a picker of the open top-level windows to take a class and
// title from, and the client registrations stored for kova, read-only.

#include "util/util_page.h"

#include <string>
#include <vector>

class WindowsPage : public UtilPage {
public:
    explicit WindowsPage(UtilDocument& document);

    void Shown(bool shown) override;
    void ShowTrial(const TrialResult& trial) override;
    void FindRefusals(const TrialResult& trial, std::vector<Refusal>& out) override;

protected:
    void OnInit() override;
    void OnCommand(int id, int code) override;

private:
    struct OpenWindow {
        std::string Class;
        std::string Title;
    };

    KeyImage& Entries();
    // Entries 1.. as stored, up to the first without a class value.
    int StoredCount();
    void FillEntries();
    void FillOpenWindows();
    void FillClients(const TrialResult& trial);
    void ShowEntry(int n);
    // The fields into entry n; false (and nothing changed) for a bad number.
    bool WriteEntry(int n);

    std::vector<OpenWindow> m_open;
};
