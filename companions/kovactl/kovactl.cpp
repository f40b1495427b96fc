// kovactl: talks to a running kova.exe from outside.
//
//   kovactl wait [ms]     wait until the main window exists; print it
//   kovactl close [ms]    post WM_CLOSE, wait for the process to end and
//                         print its exit code (the tool's own exit code too)
//   kovactl register N    register a window of the tool as target number N
//                         (WM_COPYDATA, as the client library does); print
//                         kova's answer
//   kovactl endsession    tell kova the Windows session ends (it answers
//                         the query, then blanks the remote's display)
//   kovactl tray N click|dblclick|rclick|balloonclick
//                         what the shell tells kova of a click on its icon N
//                         (1 remote control, 2 keyboard); for a right click
//                         the mouse pointer is put on the task bar beside the
//                         icons first, where the menu then opens
//   kovactl menu K|esc    choose entry K (1 is the first) of kova's open tray
//                         menu with the keyboard, or close the menu
//   kovactl answer yes|no click Yes or No in kova's open question
//   kovactl config        print every setting kova uses: its value, whether
//                         it came from the registry or is the default, and
//                         why a stored value was ignored (read through the
//                         program's own loaders, as kova.exe reads them)
//
// Exit code 2 means the main window was not found in time.

#include <windows.h>

#include "base/messages.h"
#include "config/config_report.h"
#include "config/target_window_table.h"
#include "resources/resource.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr DWORD DEFAULT_TIMEOUT_MS = 15000;
// Left of two icons of 20 pixels at the right end of the task bar.
constexpr int TRAY_POINTER_OFFSET = 60;

HWND FindMainWindow()
{
    HWND window = FindWindowA(MAIN_WINDOW_CLASS, nullptr);
    return window ? window : FindWindowA(KEYBOARD_WINDOW_CLASS, nullptr);
}

HWND WaitForMainWindow(DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (HWND window = FindMainWindow()) {
            return window;
        }
        if (GetTickCount() - start >= timeoutMs) {
            return nullptr;
        }
        Sleep(50);
    }
}

int Wait(DWORD timeoutMs)
{
    HWND window = WaitForMainWindow(timeoutMs);
    if (!window) {
        std::printf("no kova main window\n");
        return 2;
    }
    char cls[128] = {};
    GetClassNameA(window, cls, sizeof(cls));
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    std::printf("main window \"%s\" of process %lu, %s\n", cls, pid, IsWindowVisible(window) ? "visible" : "hidden");
    return 0;
}

int Close(DWORD timeoutMs)
{
    HWND window = FindMainWindow();
    if (!window) {
        std::printf("no kova main window\n");
        return 2;
    }
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    DWORD start = GetTickCount();
    PostMessageA(window, WM_CLOSE, 0, 0);
    if (!process || WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0) {
        std::printf("kova did not end within %lu ms\n", timeoutMs);
        if (process) {
            CloseHandle(process);
        }
        return 3;
    }
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    std::printf("kova ended after %lu ms with exit code %lu\n", GetTickCount() - start, code);
    return static_cast<int>(code);
}

int Register(unsigned number)
{
    HWND window = FindMainWindow();
    if (!window) {
        std::printf("no kova main window\n");
        return 2;
    }
    // A window of our own to be the target; it goes when the tool ends.
    HWND own = CreateWindowExA(0, "STATIC", "kovactl", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    TargetWindowRegistration registration{};
    registration.hOwnerWnd = own;
    registration.ucId = static_cast<uint8_t>(number);
    registration.uMsg = 0x10;
    registration.dwCtrl = 0x00010000;
    COPYDATASTRUCT copy{};
    copy.cbData = sizeof(registration);
    copy.lpData = &registration;
    LRESULT answer = SendMessageA(window, WM_COPYDATA, COPYDATA_REGISTER_WINDOW, reinterpret_cast<LPARAM>(&copy));
    std::printf("registration of window %p as number %u answered %s\n", static_cast<void*>(own), number,
                answer ? "TRUE" : "FALSE");
    return answer ? 0 : 1;
}

int EndSession()
{
    HWND window = FindMainWindow();
    if (!window) {
        std::printf("no kova main window\n");
        return 2;
    }
    LRESULT allowed = SendMessageA(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
    SendMessageA(window, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);
    std::printf("WM_QUERYENDSESSION answered %s; WM_ENDSESSION sent (session goes on)\n", allowed ? "TRUE" : "FALSE");
    return 0;
}

DWORD MainWindowProcess()
{
    DWORD pid = 0;
    if (HWND window = FindMainWindow()) {
        GetWindowThreadProcessId(window, &pid);
    }
    return pid;
}

// A visible top-level window of the class that belongs to kova, waited for.
HWND WaitForKovaWindow(const char* className, DWORD timeoutMs)
{
    DWORD kova = MainWindowProcess();
    DWORD start = GetTickCount();
    for (;;) {
        for (HWND w = FindWindowExA(nullptr, nullptr, className, nullptr); w;
             w = FindWindowExA(nullptr, w, className, nullptr)) {
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            if (kova && pid == kova && IsWindowVisible(w)) {
                return w;
            }
        }
        if (GetTickCount() - start >= timeoutMs) {
            return nullptr;
        }
        Sleep(50);
    }
}

int Tray(UINT iconId, const char* what)
{
    struct Click {
        const char* name;
        UINT message;
    };
    const Click clicks[] = {{"click", WM_LBUTTONDOWN},
                            {"dblclick", WM_LBUTTONDBLCLK},
                            {"rclick", WM_RBUTTONDOWN},
                            {"balloonclick", 0x0405 /* NIN_BALLOONUSERCLICK */}};
    HWND window = FindMainWindow();
    if (!window) {
        std::printf("no kova main window\n");
        return 2;
    }
    for (const Click& click : clicks) {
        if (std::strcmp(what, click.name) != 0) {
            continue;
        }
        // The menu opens at the pointer: beside the icons on the task bar
        // (right on an icon its tip would come up over the menu).
        RECT tray{};
        if (click.message == WM_RBUTTONDOWN && GetWindowRect(FindWindowA("Shell_TrayWnd", nullptr), &tray)) {
            SetCursorPos(tray.right - TRAY_POINTER_OFFSET, (tray.top + tray.bottom) / 2);
        }
        PostMessageA(window, WM_TRAY_NOTIFY, iconId, click.message);
        std::printf("%s on icon %u\n", what, iconId);
        return 0;
    }
    std::fprintf(stderr, "unknown click %s\n", what);
    return 64;
}

int Menu(const char* choice)
{
    HWND menu = WaitForKovaWindow("#32768", DEFAULT_TIMEOUT_MS);
    if (!menu) {
        std::printf("no tray menu open\n");
        return 2;
    }
    if (std::strcmp(choice, "esc") == 0) {
        PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
        std::printf("menu closed\n");
        return 0;
    }
    unsigned entry = static_cast<unsigned>(std::strtoul(choice, nullptr, 10));
    if (entry == 0) {
        std::fprintf(stderr, "menu entries count from 1\n");
        return 64;
    }
    // The menu opens with nothing selected: the first Down selects entry 1.
    for (unsigned i = 0; i < entry; ++i) {
        PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0);
    }
    PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 0);
    std::printf("chose entry %u\n", entry);
    return 0;
}

int Answer(const char* answer)
{
    HWND box = WaitForKovaWindow("#32770", DEFAULT_TIMEOUT_MS);
    if (!box) {
        std::printf("no question open\n");
        return 2;
    }
    char caption[128] = {};
    GetWindowTextA(box, caption, sizeof(caption));
    // Yes and No sit on the second and first button of the program's box.
    int button = std::strcmp(answer, "yes") == 0 ? IDC_MSGBOX_BUTTON2 : IDC_MSGBOX_BUTTON1;
    SendMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
    std::printf("answered %s to \"%s\"\n", answer, caption);
    return 0;
}

// Texts are held in the ANSI code page (932 on the machines kova runs on):
// a console gets them as UTF-16, a file or pipe as UTF-8.
void PrintText(const std::string& text)
{
    int wide = MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring utf16(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), utf16.data(), wide);
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(out, &mode)) {
        DWORD written = 0;
        WriteConsoleW(out, utf16.c_str(), static_cast<DWORD>(utf16.size()), &written, nullptr);
        return;
    }
    int bytes = WideCharToMultiByte(CP_UTF8, 0, utf16.c_str(), wide, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16.c_str(), wide, utf8.data(), bytes, nullptr, nullptr);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
}

int Config()
{
    std::string place;
    for (const SettingLine& line : InspectConfiguration()) {
        std::string text;
        if (line.Place != place) {
            place = line.Place;
            text += "\n" + place + "\n";
        }
        char head[64];
        std::snprintf(head, sizeof(head), "  %-24s ", line.Name.c_str());
        text += head + line.Value;
        if (!line.Source.empty()) {
            text += "  [" + line.Source + "]";
        }
        if (!line.Note.empty()) {
            text += "  " + line.Note;
        }
        PrintText(text + "\n");
    }
    std::fflush(stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: kovactl wait|close [ms] | register N | endsession | tray N CLICK | menu K|esc | "
                             "answer yes|no | config\n");
        return 64;
    }
    DWORD timeout = argc > 2 ? static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)) : DEFAULT_TIMEOUT_MS;
    if (std::strcmp(argv[1], "wait") == 0) {
        return Wait(timeout);
    }
    if (std::strcmp(argv[1], "close") == 0) {
        return Close(timeout);
    }
    if (std::strcmp(argv[1], "register") == 0 && argc > 2) {
        return Register(static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)));
    }
    if (std::strcmp(argv[1], "endsession") == 0) {
        return EndSession();
    }
    if (std::strcmp(argv[1], "tray") == 0 && argc > 3) {
        return Tray(static_cast<UINT>(std::strtoul(argv[2], nullptr, 10)), argv[3]);
    }
    if (std::strcmp(argv[1], "menu") == 0 && argc > 2) {
        return Menu(argv[2]);
    }
    if (std::strcmp(argv[1], "config") == 0) {
        return Config();
    }
    if (std::strcmp(argv[1], "answer") == 0 && argc > 2) {
        return Answer(argv[2]);
    }
    std::fprintf(stderr, "unknown command %s\n", argv[1]);
    return 64;
}
