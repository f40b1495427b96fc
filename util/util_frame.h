#pragma once
// The utility's window: the list of pages on the left, the page, the values
// kova would not take, and OK, Cancel and Apply. Its title is the text kova
// recognises the utility by (Util_Title).

#include <windows.h>

#include "util/util_document.h"
#include "util/util_page.h"

#include <memory>
#include <string>
#include <vector>

class UtilFrame {
public:
    // title: Util_Title; caption: Kova_Title, the caption of kova's notices.
    UtilFrame(UtilDocument& document, std::string title, std::string caption);
    ~UtilFrame();

    UtilFrame(const UtilFrame&) = delete;
    UtilFrame& operator=(const UtilFrame&) = delete;

    // The page shown first (0-based, in the list's order); out of range
    // shows the first.
    void SetFirstPage(int index) { m_firstPage = index; }

    // Shows the window until it is closed.
    INT_PTR Run();

private:
    static INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnInit(HWND window);
    void SelectPage(int index);
    // After a change: asks for a check once the messages queued now are handled.
    void ScheduleCheck();
    // kova's loaders over the candidates; the pages and the list of refusals
    // show the result. Returns the refusals.
    std::vector<Refusal> Check();
    // Checks and writes; false when something was refused or not written.
    bool Save();
    // After a save: kova reloads or restarts for what it reads at start.
    void TellKova();

    UtilDocument& m_document;
    std::string m_title;
    std::string m_caption;
    HWND m_window = nullptr;
    std::vector<std::unique_ptr<UtilPage>> m_pages;
    int m_current = -1;
    int m_firstPage = 0;
    bool m_checkPending = false;
};

// The running kova's main window, or null.
HWND FindKovaWindow();

// Ends the running kova (kova.exe EXIT, which waits until it has gone) and
// starts it again from the utility's own folder; false when it could not be
// started.
bool RestartKova();
