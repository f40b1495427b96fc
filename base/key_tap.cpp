#include "base/key_tap.h"

#include <windows.h>

void TapKey(uint8_t vk)
{
    if (vk == 0) {
        return;
    }
    BYTE scan = static_cast<BYTE>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC));
    keybd_event(vk, scan, 0, 0);
    Sleep(0);
    keybd_event(vk, scan, KEYEVENTF_KEYUP, 0);
}
