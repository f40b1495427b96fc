#pragma once
// CTeskTrayCtrl: the notification icon of the keyboard with one-touch start
// buttons. A fixed menu opens the keyboard utility or its help, or stops the
// program at once after the user confirms. The icon never blinks.
//
// It shows only when the installer set the keyboard utility flag "TESKUTL"
// (a number in HKLM\Software\Orlan\OrlanTesk); without it the controller
// stays disabled.

#include "tray/tray_control.h"

constexpr char KEYBOARD_UTILITY_FLAG_KEY[] = "Software\\Orlan\\OrlanTesk";  // HKLM
constexpr char KEYBOARD_UTILITY_FLAG[] = "TESKUTL";

class CTeskTrayCtrl : public CTrayControl {
public:
    CTeskTrayCtrl();

protected:
    int BuildMenu(TrayMenuItem (&items)[TRAY_MENU_MAX]) override;
    void OnExitConfirmed() override;
};
