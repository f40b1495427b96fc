// Stand-in of the button setting tool: shows a small window of the tool's
// class and writes one journal line for its start and for every numeric
// entry result it is sent:
//   PadTool.exe start
//   PadTool.exe entry which=1 value=0x00000123
// It ends on WM_CLOSE, or by itself after KOVA_PADTOOL_LIFETIME_MS
// (default two minutes), so a test that forgets it leaves nothing behind.

#include <windows.h>

#include "companions/journal/journal.h"
#include "keys/numeric_entry.h"

namespace {

constexpr char JOURNAL_NAME[] = "PadTool.exe";
constexpr UINT_PTR IDT_LIFETIME = 1;
constexpr long DEFAULT_LIFETIME_MS = 120000;

LRESULT CALLBACK ToolProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case ENTRY_RESULT_MESSAGE:
        JournalLine(JOURNAL_NAME, "entry", "which=%u value=0x%08X", static_cast<unsigned>(wParam),
                    static_cast<unsigned>(lParam));
        return 0;
    case WM_TIMER:
        if (wParam == IDT_LIFETIME) {
            DestroyWindow(window);
        }
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show)
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = ToolProc;
    wc.hInstance = instance;
    wc.lpszClassName = SETTING_TOOL_CLASS;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    if (!RegisterClassA(&wc)) {
        return 1;
    }
    HWND window = CreateWindowExA(0, SETTING_TOOL_CLASS, "PadTool", WS_OVERLAPPEDWINDOW, 40, 40, 240, 120, nullptr,
                                  nullptr, instance, nullptr);
    if (!window) {
        return 1;
    }
    ShowWindow(window, show);
    SetTimer(window, IDT_LIFETIME, static_cast<UINT>(EnvNumber("KOVA_PADTOOL_LIFETIME_MS", DEFAULT_LIFETIME_MS)),
             nullptr);
    JournalLine(JOURNAL_NAME, "start", "show=%d", show);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        DispatchMessageA(&msg);
    }
    return 0;
}
