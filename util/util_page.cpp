#include "util/util_page.h"

#include "util/dialog_text.h"

HWND UtilPage::Create(HWND frame, const RECT& area)
{
    HWND window = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(m_dialogId), frame, Proc,
                                     reinterpret_cast<LPARAM>(this));
    if (window) {
        // Found by the frame, and by anyone driving the utility, by its id.
        SetWindowLongPtrA(window, GWLP_ID, m_dialogId);
        SetWindowPos(window, nullptr, area.left, area.top, area.right - area.left, area.bottom - area.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return window;
}

INT_PTR CALLBACK UtilPage::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        auto* page = reinterpret_cast<UtilPage*>(lParam);
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        page->m_window = window;
        ApplyControlTexts(window);
        FillingScope filling(page->m_filling);
        page->OnInit();
        return TRUE;
    }
    auto* page = reinterpret_cast<UtilPage*>(GetWindowLongPtrA(window, DWLP_USER));
    if (!page) {
        return FALSE;
    }
    if (message == WM_COMMAND) {
        if (!page->m_filling) {
            page->OnCommand(LOWORD(wParam), HIWORD(wParam));
        }
        return TRUE;
    }
    return page->OnMessage(message, wParam, lParam);
}
