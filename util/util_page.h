#pragma once
// One page of the utility: a child dialog of the frame, filled from the
// document's candidate keys and writing each change back into them.

#include <windows.h>

#include "util/trial_load.h"
#include "util/util_document.h"

#include <vector>

class UtilPage {
public:
    UtilPage(UtilDocument& document, int dialogId) : m_document(document), m_dialogId(dialogId) {}
    virtual ~UtilPage() = default;

    UtilPage(const UtilPage&) = delete;
    UtilPage& operator=(const UtilPage&) = delete;

    // Makes the page's window inside the frame, hidden.
    HWND Create(HWND frame, const RECT& area);
    HWND Window() const { return m_window; }
    int DialogId() const { return m_dialogId; }

    // The frame shows or hides the page.
    virtual void Shown(bool shown) { (void)shown; }
    // What kova makes of the candidates now; each page shows its part (the
    // values in effect, notes), after every change.
    virtual void ShowTrial(const TrialResult& trial) { (void)trial; }
    // Refusals only the page can see (an entry that a list never reaches, a
    // profile that cannot be used), added to the document's own.
    virtual void FindRefusals(const TrialResult& trial, std::vector<Refusal>& out) { (void)trial, (void)out; }
    // After a save: the candidates are the stored values now.
    virtual void Saved() {}

protected:
    virtual void OnInit() {}
    virtual void OnCommand(int id, int code) { (void)id, (void)code; }
    // Messages other than WM_INITDIALOG and WM_COMMAND; FALSE when not handled.
    virtual INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
    {
        (void)message, (void)wParam, (void)lParam;
        return FALSE;
    }

    // A changed candidate: the frame checks it anew.
    void Changed() { m_document.NotifyChanged(); }
    HWND Item(int id) const { return GetDlgItem(m_window, id); }

    UtilDocument& m_document;
    HWND m_window = nullptr;
    // Set while the page fills its own controls: their change notices are
    // not a person's edits.
    bool m_filling = false;

private:
    static INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    int m_dialogId;
};

// Flips m_filling for one scope.
class FillingScope {
public:
    explicit FillingScope(bool& filling) : m_filling(filling), m_before(filling) { m_filling = true; }
    ~FillingScope() { m_filling = m_before; }
    FillingScope(const FillingScope&) = delete;
    FillingScope& operator=(const FillingScope&) = delete;

private:
    bool& m_filling;
    bool m_before;
};
