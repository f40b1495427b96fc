#include "launch/send_ctrl.h"

#include "base/key_tap.h"

#include <cstring>

namespace {

// Class names and titles are compared in buffers of this size.
constexpr int NAME_SIZE = 260;
constexpr int CATEGORY_COUNT = 7;
constexpr int CATEGORY_SHIFT = 16;

bool InCategories(const TargetWindowEntry& entry, uint16_t mask)
{
    return ((entry.Categories >> CATEGORY_SHIFT) & mask & ((1u << CATEGORY_COUNT) - 1)) != 0;
}

bool IsRegistered(const TargetWindowEntry& entry) { return (entry.Flags & TARGET_HAS_WINDOW) != 0; }

bool IsClassEntry(const TargetWindowEntry& entry)
{
    return (entry.Flags & TARGET_HAS_CLASS) != 0 && !IsRegistered(entry);
}

const char* TitleToMatch(const TargetWindowEntry& entry)
{
    return (entry.Flags & TARGET_HAS_TITLE) ? entry.Title : nullptr;
}

// Posts to an entry as it is now. A registration withdrawn since the search
// leaves no window: a post to a null window would land in this thread's own
// queue, so there is none.
void PostToEntry(int index, WPARAM wParam, LPARAM lParam)
{
    TargetWindowEntry entry{};
    if (CConfig::GetTargetWindow(index, &entry) && entry.Window) {
        PostMessageA(entry.Window, entry.Message, wParam, lParam);
    }
}

// Number-button bit codes, bit i for the digit i + 1.
constexpr int DIGIT_BUTTONS = 9;
constexpr uint8_t VK_DIGIT_1 = 0x31;
constexpr uint8_t VK_LETTER_A = 0x41;
constexpr DWORD ADDRESS_BAR_PAUSE_MS = 100;

}  // namespace

int CSendCtrl::CollectTargets(uint16_t mask, int* indices)
{
    int count = 0;
    const int highest = GetTargetWindowHighest();
    for (int index = 0; index < highest && count < TARGET_WINDOW_MAX; ++index) {
        TargetWindowEntry entry{};
        if (!GetTargetWindow(index, &entry) || !(entry.Flags & TARGET_IN_USE) || !InCategories(entry, mask)) {
            continue;
        }
        if (IsRegistered(entry)) {
            // GetWindow fails for a handle whose window is gone.
            if (!GetWindow(entry.Window, GW_HWNDFIRST)) {
                continue;
            }
        } else if (entry.Flags & TARGET_HAS_CLASS) {
            HWND found = FindWindowA(entry.Class, TitleToMatch(entry));
            if (!found) {
                continue;
            }
            CacheTargetWindowHandle(index, found);
        } else {
            continue;
        }
        indices[count++] = index;
    }
    return count;
}

int CSendCtrl::FindForegroundTarget(TargetSet& ts)
{
    ts.Foreground = GetForegroundWindow();
    if (!ts.Foreground) {
        return -1;
    }
    char className[NAME_SIZE] = {};
    char title[NAME_SIZE] = {};
    if (GetClassNameA(ts.Foreground, className, NAME_SIZE) == 0 ||
        GetWindowTextA(ts.Foreground, title, NAME_SIZE) == 0) {
        return -1;  // a window without a title is never a target
    }
    const int highest = GetTargetWindowHighest();
    for (int index = 0; index < highest; ++index) {
        TargetWindowEntry entry{};
        if (!GetTargetWindow(index, &entry) || !(entry.Flags & TARGET_IN_USE)) {
            continue;
        }
        if (IsRegistered(entry)) {
            if (entry.Window == ts.Foreground) {
                return index;
            }
        } else if (IsClassEntry(entry) && std::strcmp(entry.Class, className) == 0) {
            const char* wanted = TitleToMatch(entry);
            if (!wanted || std::strcmp(wanted, title) == 0) {
                CacheTargetWindowHandle(index, ts.Foreground);
                return index;
            }
        }
    }
    return -1;
}

int CSendCtrl::FindTargets(TargetSet& ts)
{
    ts.ForegroundIsTarget = 1;
    ts.Count = CollectTargets(ts.Mask, ts.Indices);
    const int foreground = FindForegroundTarget(ts);
    if (foreground < 0) {
        ts.ForegroundIsTarget = 0;
        return ts.Count;
    }
    if (ts.Count > 0) {
        TargetWindowEntry entry{};
        GetTargetWindow(foreground, &entry);
        if (entry.Categories & TARGET_FOREGROUND_ONLY) {
            return ts.Count;
        }
        for (int i = 0; i < ts.Count; ++i) {
            if (ts.Indices[i] == foreground) {
                return ts.Count;
            }
        }
    }
    // The target in front gets the command whatever its categories.
    if (ts.Count < TARGET_WINDOW_MAX) {
        ts.Indices[ts.Count++] = foreground;
    }
    return ts.Count;
}

BOOL CSendCtrl::PostToTargets(uint16_t mask, WPARAM wParam, LPARAM lParam)
{
    TargetSet ts{};
    ts.Mask = mask;
    FindTargets(ts);
    for (int i = 0; i < ts.Count; ++i) {
        PostToEntry(ts.Indices[i], wParam, lParam);
    }
    return ts.ForegroundIsTarget ? TRUE : FALSE;
}

BOOL CSendCtrl::ToggleMaximizeTargets(uint16_t mask)
{
    TargetSet ts{};
    ts.Mask = mask;
    FindTargets(ts);
    if (!ts.ForegroundIsTarget) {
        ToggleMaximize(ts.Foreground);
    }
    for (int i = 0; i < ts.Count; ++i) {
        TargetWindowEntry entry{};
        if (!GetTargetWindow(ts.Indices[i], &entry) || !entry.Window) {
            continue;
        }
        if (entry.Categories & TARGET_OWN_MAXIMIZE) {
            PostMessageA(entry.Window, entry.Message, 0, TARGET_MAXIMIZE_COMMAND);
        } else {
            ToggleMaximize(entry.Window);
        }
    }
    return ts.ForegroundIsTarget ? TRUE : FALSE;
}

void CSendCtrl::ToggleMaximize(HWND window)
{
    if (!window || !(GetWindowLongA(window, GWL_STYLE) & WS_MAXIMIZEBOX)) {
        return;
    }
    WPARAM command = (IsIconic(window) || IsZoomed(window)) ? SC_RESTORE : SC_MAXIMIZE;
    PostMessageA(window, WM_SYSCOMMAND, command, 0);
}

void CSendCtrl::SendDigitKey(uint16_t bitCode, uint32_t state)
{
    if (!GetControlSettings().NumCode_Enable || state != 1) {
        return;
    }
    for (int digit = 0; digit < DIGIT_BUTTONS; ++digit) {
        if (bitCode == (1u << digit)) {
            TapKey(static_cast<uint8_t>(VK_DIGIT_1 + digit));
            return;
        }
    }
}

HWND CSendCtrl::GetForegroundBrowser()
{
    HWND foreground = GetForegroundWindow();
    char className[NAME_SIZE] = {};
    if (!foreground || GetClassNameA(foreground, className, NAME_SIZE) == 0) {
        return nullptr;
    }
    const BrowserClasses& browsers = GetBrowserClasses();
    for (int i = 0; i < browsers.Count && i < BROWSER_CLASS_MAX; ++i) {
        if (std::strcmp(browsers.Class[i], className) == 0) {
            return foreground;
        }
    }
    return nullptr;
}

void CSendCtrl::SendBrowserCommand(uint32_t kind, uint32_t code)
{
    if (!GetForegroundBrowser()) {
        return;
    }
    if (kind == BROWSER_KIND_NAVIGATE) {
        switch (code) {
        case BROWSER_FORWARD:
            TapAltKey(VK_RIGHT);
            break;
        case BROWSER_BACK:
            TapAltKey(VK_LEFT);
            break;
        case BROWSER_STOP:
            TapKey(VK_ESCAPE);
            break;
        default:
            break;
        }
    } else if (kind == BROWSER_KIND_MENU && code == BROWSER_ADDRESS_ENTER) {
        TapAltKey(VK_LETTER_A);
        Sleep(ADDRESS_BAR_PAUSE_MS);
        TapKey(VK_RETURN);
    }
}

void CSendCtrl::CloseForegroundWindow() { TapAltKey(VK_F4); }
