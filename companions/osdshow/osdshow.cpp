// osdshow: shows texts and volume bars through kova's own display controller
// (the display libraries of the program folder and the user's on-screen
// settings), for the demo and for trying the display by hand.
//
//   osdshow [text <text>] [symbol <characters>] [volume <percent>]
//           [mute <percent>] [bar <percent>] [client <flags> <text>]
//           [--backdrop] [--shot <out.png> [--crop <x> <y> <width> <height>]]
//
// --backdrop first covers the screen with a shaded picture, so that a
// screenshot shows how the display reads over light and dark parts.
// Texts may carry bytes as \xHH (code page 932), since a Unix shell cannot
// always hand non-ASCII arguments to Wine intact. The requests are shown in
// order. With --shot, kovashot.exe from the same
// folder saves the screen once everything is on it. The program stays until
// the displays are over, since they belong to its process.
// Exit codes: 0 shown, 1 nothing came on screen, 2 no screenshot, 64 bad
// arguments.

#include <windows.h>

#include "osd/osd_control.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr DWORD SHOW_TIMEOUT_MS = 10000;
constexpr DWORD END_TIMEOUT_MS = 70000;
constexpr DWORD SHOT_TIMEOUT_MS = 20000;
// Time for the display thread to paint after its window became visible.
constexpr DWORD SETTLE_MS = 300;

struct CountData {
    int Visible;
};

BOOL CALLBACK CountOwnDisplays(HWND window, LPARAM param)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char className[64] = {};
    GetClassNameA(window, className, sizeof(className));
    if (pid == GetCurrentProcessId() && IsWindowVisible(window) &&
        std::strncmp(className, OSD_WINDOW_CLASS_PREFIX, sizeof(OSD_WINDOW_CLASS_PREFIX) - 1) == 0) {
        ++reinterpret_cast<CountData*>(param)->Visible;
    }
    return TRUE;
}

int VisibleDisplays()
{
    CountData data{0};
    EnumWindows(CountOwnDisplays, reinterpret_cast<LPARAM>(&data));
    return data.Visible;
}

// Waits while keeping this thread's windows (the backdrop) painted.
template <typename Cond>
bool WaitFor(Cond cond, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (!cond()) {
        if (GetTickCount() - start >= timeoutMs) {
            return false;
        }
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&msg);
        }
        Sleep(50);
    }
    return true;
}

constexpr char BACKDROP_CLASS[] = "kova osdshow backdrop";

// Light on the left, dark on the right, a little lighter towards the bottom.
void PaintBackdrop(HWND window)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT client;
    GetClientRect(window, &client);
    const int band = 8;
    for (int x = 0; x < client.right; x += band) {
        for (int y = 0; y < client.bottom; y += band) {
            int across = client.right ? 255 * x / client.right : 0;
            int down = client.bottom ? 40 * y / client.bottom : 0;
            COLORREF c = RGB(std::min(255, 215 - across * 190 / 255 + down), std::min(255, 220 - across * 185 / 255 + down),
                             std::min(255, 228 - across * 160 / 255 + down));
            HBRUSH brush = CreateSolidBrush(c);
            RECT cell{x, y, x + band, y + band};
            FillRect(dc, &cell, brush);
            DeleteObject(brush);
        }
    }
    EndPaint(window, &ps);
}

LRESULT CALLBACK BackdropProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT) {
        PaintBackdrop(window);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND ShowBackdrop()
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = BackdropProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = BACKDROP_CLASS;
    RegisterClassA(&wc);
    RECT area{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    HWND window = CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, BACKDROP_CLASS, "", WS_POPUP | WS_VISIBLE,
                                  area.left, area.top, area.right - area.left, area.bottom - area.top, nullptr,
                                  nullptr, wc.hInstance, nullptr);
    UpdateWindow(window);
    return window;
}

uint32_t PercentToMixer(const char* text)
{
    long percent = std::strtol(text, nullptr, 10);
    if (percent < 0) {
        percent = 0;
    }
    if (percent > 100) {
        percent = 100;
    }
    return static_cast<uint32_t>(percent * MIXER_VOLUME_MAX / 100);
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// "\xHH" becomes the byte HH; everything else stays.
std::string Unescape(const char* text)
{
    std::string out;
    for (const char* p = text; *p; ++p) {
        if (p[0] == '\\' && p[1] == 'x' && HexDigit(p[2]) >= 0 && HexDigit(p[3]) >= 0) {
            out.push_back(static_cast<char>(HexDigit(p[2]) * 16 + HexDigit(p[3])));
            p += 3;
        } else {
            out.push_back(*p);
        }
    }
    return out;
}

bool TakeShot(const char* outPath, const std::string& crop)
{
    char self[MAX_PATH] = {};
    DWORD n = GetModuleFileNameA(nullptr, self, sizeof(self));
    char* slash = n ? std::strrchr(self, '\\') : nullptr;
    if (!slash) {
        return false;
    }
    *slash = '\0';
    std::string program = std::string(self) + "\\kovashot.exe";
    std::string line = "\"" + program + "\" \"" + outPath + "\"" + crop;
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        return false;
    }
    CloseHandle(pi.hThread);
    DWORD code = 1;
    bool ended = WaitForSingleObject(pi.hProcess, SHOT_TIMEOUT_MS) == WAIT_OBJECT_0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    return ended && code == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    COsdControl osd;
    const char* shot = nullptr;
    std::string crop;
    int shown = 0;
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i];
        bool hasArg = i + 1 < argc;
        if (word == "text" && hasArg) {
            osd.ShowText(Unescape(argv[++i]).c_str(), FALSE);
            ++shown;
        } else if (word == "symbol" && hasArg) {
            osd.ShowText(Unescape(argv[++i]).c_str(), TRUE);
            ++shown;
        } else if (word == "volume" && hasArg) {
            if (COsdControl::ImageAvailable()) {
                osd.ShowVolumeImage(PercentToMixer(argv[++i]), FALSE);
            } else {
                osd.ShowVolumeLevel(PercentToMixer(argv[++i]), FALSE);
            }
            ++shown;
        } else if (word == "mute" && hasArg) {
            osd.ShowMuteImage(PercentToMixer(argv[++i]));
            ++shown;
        } else if (word == "bar" && hasArg) {
            osd.ShowVolumeLevel(PercentToMixer(argv[++i]), FALSE);
            ++shown;
        } else if (word == "client" && i + 2 < argc) {
            ClientOsdRequest request{};
            request.Flags = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 0));
            std::string text = Unescape(argv[++i]);
            std::strncpy(request.Text, text.c_str(), sizeof(request.Text) - 1);
            osd.ShowClientRequest(&request);
            ++shown;
        } else if (word == "--backdrop") {
            ShowBackdrop();
        } else if (word == "--crop" && i + 4 < argc) {
            for (int k = 0; k < 4; ++k) {
                crop += " " + std::to_string(std::strtol(argv[++i], nullptr, 10));
            }
        } else if (word == "--shot" && hasArg) {
            shot = argv[++i];
        } else {
            std::fprintf(stderr, "usage: osdshow [text <text>] [symbol <characters>] [volume|mute|bar <percent>] "
                                 "[client <flags> <text>] [--backdrop] [--shot <out.png> [--crop x y w h]]\n");
            return 64;
        }
    }
    if (!shown) {
        return 0;
    }
    if (!WaitFor([] { return VisibleDisplays() > 0; }, SHOW_TIMEOUT_MS)) {
        std::printf("nothing came on screen (display libraries missing, or the display switched off)\n");
        return 1;
    }
    WaitFor([] { return false; }, SETTLE_MS);
    int result = 0;
    if (shot) {
        if (TakeShot(shot, crop)) {
            std::printf("screenshot saved to %s\n", shot);
        } else {
            std::printf("no screenshot\n");
            result = 2;
        }
    }
    WaitFor([] { return VisibleDisplays() == 0; }, END_TIMEOUT_MS);
    return result;
}
