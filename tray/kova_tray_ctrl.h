#pragma once
// CKovaTrayCtrl: the notification icon of the remote-control receiver. Its
// menu opens the setting utility or help, or stops the program: after the
// user confirms, a balloon says how to start it again and the program ends
// five seconds later, or earlier on a click on the icon or the balloon.

#include "tray/tray_control.h"

// From the confirmed Exit to the end of the program at the latest.
constexpr UINT TRAY_EXIT_DELAY_MS = 5000;
constexpr UINT TRAY_BALLOON_SECONDS = 10;

class CKovaTrayCtrl : public CTrayControl {
public:
    CKovaTrayCtrl();

    bool IsExitPending() const { return ExitPending != 0; }

protected:
    int BuildMenu(TrayMenuItem (&items)[TRAY_MENU_MAX]) override;
    void OnExitConfirmed() override;
    void OnIconClicked() override;

private:
    // The user confirmed Exit; the next click, the balloon's end or the exit
    // timer close the program.
    LONG ExitPending = 0;
};
