#pragma once
// CSendCtrl: delivers a button's command to the media applications that want
// it, the entries of the target-window table (configured by class and title,
// or registered by client programs), and presses the few keys that go to
// whatever window is in front (digits, browser navigation, Alt+F4). Called on
// the main thread; it keeps no state of its own beyond the window handles it
// caches in the table's class entries.

#include <windows.h>

#include "config/config.h"

#include <cstdint>

// The targets of one command.
struct TargetSet {
    uint32_t ForegroundIsTarget;  // 1 when the window in front is one of them
    uint16_t Mask;                // bit i selects the entries of category i (0..6)
    HWND Foreground;              // the window in front at the search, or null
    int Count;
    int Indices[TARGET_WINDOW_MAX];  // table order; the foreground entry possibly last
};

// Commands of SendBrowserCommand.
constexpr uint32_t BROWSER_KIND_NAVIGATE = 2;
constexpr uint32_t BROWSER_FORWARD = 1;
constexpr uint32_t BROWSER_BACK = 2;
constexpr uint32_t BROWSER_STOP = 4;
constexpr uint32_t BROWSER_KIND_MENU = 3;
constexpr uint32_t BROWSER_ADDRESS_ENTER = 194;

// lParam of the maximize request to a target that maximizes itself.
constexpr LPARAM TARGET_MAXIMIZE_COMMAND = 10;

class CSendCtrl : public CConfig {
public:
    CSendCtrl() = default;
    ~CSendCtrl() override = default;

    // Posts each target's own message with (wParam, lParam); nothing is
    // waited for. Returns ForegroundIsTarget: FALSE tells the caller to fall
    // back to keystrokes.
    BOOL PostToTargets(uint16_t mask, WPARAM wParam, LPARAM lParam);
    // Maximize/restore to the targets, or to the window in front when that
    // is none of them. Returns ForegroundIsTarget.
    BOOL ToggleMaximizeTargets(uint16_t mask);
    // Number-button bit code 1, 2, 4 .. 256 to the digit keys 1 to 9, on a
    // press and only with NumCode_Enable.
    void SendDigitKey(uint16_t bitCode, uint32_t state);
    // Forward, back, stop or the address bar, to a browser in front only.
    void SendBrowserCommand(uint32_t kind, uint32_t code);
    // Alt+F4 to the window in front.
    void CloseForegroundWindow();

    int FindTargets(TargetSet& ts);
    // Live entries of the mask's categories, in table order, into indices
    // (room for TARGET_WINDOW_MAX).
    int CollectTargets(uint16_t mask, int* indices);
    // The first entry that matches the window in front, or -1.
    int FindForegroundTarget(TargetSet& ts);
    // SC_RESTORE to a minimized or maximized window, else SC_MAXIMIZE; only
    // for windows with a maximize box.
    static void ToggleMaximize(HWND window);
    // The window in front when its class is one of the browser classes.
    HWND GetForegroundBrowser();
};
