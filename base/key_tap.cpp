#include "base/key_tap.h"

#include <windows.h>

namespace {

void Press(uint8_t vk, DWORD flags)
{
    keybd_event(vk, static_cast<BYTE>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC)), flags, 0);
}

}  // namespace

void TapKey(uint8_t vk)
{
    if (vk == 0) {
        return;
    }
    Press(vk, 0);
    Sleep(0);
    Press(vk, KEYEVENTF_KEYUP);
}

void TapAltKey(uint8_t vk)
{
    if (vk == 0) {
        return;
    }
    Press(VK_MENU, 0);
    TapKey(vk);
    Press(VK_MENU, KEYEVENTF_KEYUP);
}
