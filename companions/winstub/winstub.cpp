// Stand-in of the setting utilities and the help viewer: one window with the
// class and title the environment asks for (KOVA_WINSTUB_CLASS,
// KOVA_WINSTUB_TITLE), a journal line when it starts (with its command line)
// and when it is asked to close. It is copied under the names of the
// programs it plays, and its journal lines carry that name.

#include <windows.h>

#include "companions/journal/journal.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr char DEFAULT_CLASS[] = "KovaWinStub";
constexpr int WINDOW_WIDTH = 360;
constexpr int WINDOW_HEIGHT = 140;

char g_name[MAX_PATH] = "winstub.exe";

const char* EnvText(const char* name, const char* fallback)
{
    const char* value = std::getenv(name);
    return value && value[0] ? value : fallback;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        char title[256] = {};
        GetWindowTextA(window, title, sizeof(title));
        RECT client;
        GetClientRect(window, &client);
        DrawTextA(dc, title, -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_CLOSE:
        JournalLine(g_name, "close", "window=%p", static_cast<void*>(window));
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

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof(path));
    const char* slash = std::strrchr(path, '\\');
    lstrcpynA(g_name, slash ? slash + 1 : path, sizeof(g_name));

    const char* className = EnvText("KOVA_WINSTUB_CLASS", DEFAULT_CLASS);
    const char* title = EnvText("KOVA_WINSTUB_TITLE", g_name);
    JournalLine(g_name, "start", "cmdline=[%s] title=\"%s\" class=\"%s\"", GetCommandLineA(), title, className);

    WNDCLASSA wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = className;
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, className, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                  WINDOW_WIDTH, WINDOW_HEIGHT, nullptr, nullptr, instance, nullptr);
    if (!window) {
        return 1;
    }
    ShowWindow(window, show);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
