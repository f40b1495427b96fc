#include "core/startup.h"

#include "base/app_context.h"
#include "base/messages.h"
#include "base/scoped.h"
#include "base/text_util.h"
#include "config/controls.h"
#include "config/regs.h"
#include "core/main_ctrl.h"
#include "core/main_window.h"
#include "core/opt_ctrl.h"
#include "core/watchers.h"
#include "resources/resource.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

char MainWindowClassName[128] = {};

namespace {

// How long "kova.exe EXIT" waits for the running copy: first for its main
// window (a copy that is just starting has the mutex before the window), then
// for the process to end (each worker thread may take 5.5 s to stop).
constexpr DWORD EXIT_FIND_WINDOW_MS = 10000;
constexpr DWORD EXIT_WAIT_END_MS = 20000;
constexpr DWORD EXIT_POLL_MS = 50;

// The file name part of a path, after its last backslash or slash.
const char* FileNameOf(const char* path)
{
    const char* name = path;
    for (const char* p = path; *p; ++p) {
        if (*p == '\\' || *p == '/') {
            name = p + 1;
        }
    }
    return name;
}

// Whether the process is this same program: another process (a test host, a
// tool) may have a window of the main window's class, and must not be closed.
bool IsSameProgram(DWORD pid)
{
    char own[MAX_PATH] = {};
    if (GetModuleFileNameA(nullptr, own, sizeof(own)) == 0) {
        return false;
    }
    ScopedHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) {
        return false;
    }
    char image[MAX_PATH] = {};
    DWORD size = sizeof(image);
    if (!QueryFullProcessImageNameA(process.get(), 0, image, &size)) {
        return false;
    }
    return EqualsNoCase(FileNameOf(own), FileNameOf(image));
}

// The running copy's main window, under either class it may have chosen.
HWND FindRunningMainWindow()
{
    for (const char* cls : {MAIN_WINDOW_CLASS, KEYBOARD_WINDOW_CLASS}) {
        for (HWND w = FindWindowExA(nullptr, nullptr, cls, nullptr); w; w = FindWindowExA(nullptr, w, cls, nullptr)) {
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            if (pid != GetCurrentProcessId() && IsSameProgram(pid)) {
                return w;
            }
        }
    }
    return nullptr;
}

bool InstanceMutexExists()
{
    ScopedHandle mutex(OpenMutexA(SYNCHRONIZE, FALSE, INSTANCE_MUTEX_NAME));
    return static_cast<bool>(mutex);
}

// "kova.exe EXIT" beside a running copy: closes it the way the shell closes
// a program (WM_CLOSE to its main window) and waits until the process has
// ended, so that an uninstaller running this finds the program's files free.
void CloseRunningCopy()
{
    HWND window = FindRunningMainWindow();
    DWORD start = GetTickCount();
    while (!window && InstanceMutexExists() && GetTickCount() - start < EXIT_FIND_WINDOW_MS) {
        Sleep(EXIT_POLL_MS);
        window = FindRunningMainWindow();
    }
    if (!window) {
        return;
    }
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    ScopedHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
    PostMessageA(window, WM_CLOSE, 0, 0);
    if (process) {
        WaitForSingleObject(process.get(), EXIT_WAIT_END_MS);
    }
}

}  // namespace

void GetMainWindowClassName(char out[128])
{
    // Read before the store is loaded, but by the store's own reader and
    // rules: a text or a value of 1 to 3 bytes is no setting. Otherwise the
    // window could get the keyboard's class while the store runs without
    // the keyboard features, and clients would not find the program.
    uint32_t teskEnable = 0;
    CRegs regs;
    if (regs.Open(HKEY_LOCAL_MACHINE, CONTROLS_KEY, KEY_READ) == ERROR_SUCCESS) {
        if (regs.QueryDword("Tesk_Enable", &teskEnable) != ERROR_SUCCESS) {
            teskEnable = 0;
        }
        regs.Close();
    }
    CopyCut(out, 128, teskEnable ? KEYBOARD_WINDOW_CLASS : MAIN_WINDOW_CLASS);
}

int RunKova(HINSTANCE instance, LPSTR commandLine)
{
    CMainCtrl::DisplayOffSeen = 0;
    SetAppDisplayOffSeen(false);

    std::unique_ptr<COptCtrl> options(new (std::nothrow) COptCtrl(commandLine));
    if (!options) {
        return 1;
    }
    if (!options->IsFirstInstance()) {
        // The running copy is left alone and not told, unless the word EXIT
        // asks this copy to end it.
        if (options->GetOptions() & OPT_EXIT) {
            CloseRunningCopy();
        }
        return 1;
    }
    if (options->GetOptions() & OPT_EXIT) {
        // No copy runs: there is nothing to close, and this one does not stay.
        return 0;
    }

    GetMainWindowClassName(MainWindowClassName);
    InitLcdAtCreate = (options->GetOptions() & OPT_INITLCD) ? TRUE : FALSE;

    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_KOVA));
    wc.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(IDI_KOVA));
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = MainWindowClassName;
    // A failed registration makes the window creation below fail.
    RegisterClassExA(&wc);

    // Never shown and never activated: the program lives in the tray.
    HWND window = CreateWindowExA(WS_EX_NOACTIVATE, MainWindowClassName, MAIN_WINDOW_TITLE, WS_POPUP, 0, 0, 0, 0,
                                  nullptr, nullptr, instance, nullptr);
    if (!window) {
        return 0;
    }
    CMainCtrl::MainWindow = window;

    if (!StartSendWindowWatcher()) {
        return 0;
    }
    if (!StartPriorityWatcher()) {
        return 0;
    }

    DisplayNotify = RegisterPowerSettingNotification(window, &GUID_CONSOLE_DISPLAY_STATE, DEVICE_NOTIFY_WINDOW_HANDLE);

    MSG msg{};
    BOOL got;
    while ((got = GetMessageA(&msg, nullptr, 0, 0)) != 0 && got != -1) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}
