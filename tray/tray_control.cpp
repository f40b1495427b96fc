#include "tray/tray_control.h"

#include "core/text_util.h"

#include <cstring>

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

void ForgetTimer(UINT_PTR id)
{
    for (BlinkTimer& timer : g_blinkTimers) {
        if (timer.id == id) {
            timer = BlinkTimer{};
        }
    }
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

void CTrayControl::ShowIcon()
{
    if (!Enabled || Shown) {
        return;
    }
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
    if (!BlinkIcon || !Enabled) {
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
    ForgetTimer(id);
}

void CTrayControl::RestoreNormalIcon()
{
    IconData.hIcon = NormalIcon;
    Shell_NotifyIconA(NIM_MODIFY, &IconData);
}

void CTrayControl::ShowBalloon(LPCSTR text, LPCSTR title, DWORD infoFlags, UINT seconds)
{
    // Only the balloon changes; the flags are put back afterwards so that a
    // later blink still swaps the icon.
    UINT flags = IconData.uFlags;
    IconData.uFlags = NIF_INFO;
    CopyCut(IconData.szInfo, text ? text : "");
    CopyCut(IconData.szInfoTitle, title ? title : "");
    IconData.dwInfoFlags = infoFlags;
    IconData.uTimeout = seconds * 1000;
    Shell_NotifyIconA(NIM_MODIFY, &IconData);
    // Later changes of the icon must not show the balloon again.
    IconData.szInfo[0] = '\0';
    IconData.uFlags = flags & ~static_cast<UINT>(NIF_INFO);
}
