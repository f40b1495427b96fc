// A program to be launched: it writes its start to the journal and stays
// until it is told to go or its time is up, so tests and people trying a
// configuration can see what the launcher started, when and how.
//
// Copy it under any name (player.exe, notes.com, ...): its journal lines
// carry the name it runs under.
//
//   <name> start ms=T pid=P args="..." folder="..." show=N
//   <name> exit ms=T pid=P
//
// ms is the performance counter in milliseconds (the same clock in every
// process); args is the command line after the program's own name, as
// given; folder the working folder; show the show command it was started
// with (1 normal, 3 maximized, ...).
//
// It goes when its hidden window (class "KovaLaunchStub", owned by pid P)
// gets WM_CLOSE, or after KOVA_LAUNCHSTUB_EXIT_AFTER milliseconds when that
// variable is set; it then exits with KOVA_LAUNCHSTUB_EXIT_CODE (0 when
// unset). Its message loop makes WaitForInputIdle return as for any
// windowed program. The window is never shown, so it takes no foreground.

#include <windows.h>

#include "companions/journal/journal.h"

#include <cstring>

namespace {

constexpr char WINDOW_CLASS[] = "KovaLaunchStub";
constexpr char EXIT_AFTER_ENV[] = "KOVA_LAUNCHSTUB_EXIT_AFTER";
constexpr char EXIT_CODE_ENV[] = "KOVA_LAUNCHSTUB_EXIT_CODE";
constexpr UINT_PTR IDT_EXIT_AFTER = 1;

char g_name[MAX_PATH] = "launchstub.exe";

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_TIMER:
        if (wParam == IDT_EXIT_AFTER) {
            DestroyWindow(window);
        }
        return 0;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int show)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof(path));
    const char* slash = std::strrchr(path, '\\');
    lstrcpynA(g_name, slash ? slash + 1 : path, sizeof(g_name));

    char folder[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof(folder), folder);
    char quotedArgs[4 * 1024] = {};
    char quotedFolder[4 * MAX_PATH] = {};
    JournalQuote(commandLine, GetACP(), quotedArgs, sizeof(quotedArgs));
    JournalQuote(folder, GetACP(), quotedFolder, sizeof(quotedFolder));
    JournalLine(g_name, "start", "ms=%lld pid=%lu args=%s folder=%s show=%d", JournalMilliseconds(),
                GetCurrentProcessId(), quotedArgs, quotedFolder, show);

    WNDCLASSA wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = WINDOW_CLASS;
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, WINDOW_CLASS, g_name, WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                  instance, nullptr);
    long exitAfter = EnvNumber(EXIT_AFTER_ENV, 0);
    if (window && exitAfter > 0) {
        SetTimer(window, IDT_EXIT_AFTER, static_cast<UINT>(exitAfter), nullptr);
    }
    MSG msg;
    while (window && GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    JournalLine(g_name, "exit", "ms=%lld pid=%lu", JournalMilliseconds(), GetCurrentProcessId());
    return static_cast<int>(EnvNumber(EXIT_CODE_ENV, 0));
}
