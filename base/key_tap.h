#pragma once
// Key taps the program sends to itself. Windows lets a program hand the
// foreground to another window only when it received the last input event,
// so the program taps a harmless key (Vk_ApFore, F24 by default) first.

#include <cstdint>

// Presses and releases vk; nothing for vk 0.
void TapKey(uint8_t vk);

// The same with Alt held around it (Alt+F4, Alt+Left, ...); nothing for vk 0.
void TapAltKey(uint8_t vk);
