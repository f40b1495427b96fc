#include "core/watchers.h"

#include "base/scoped.h"
#include "config/config.h"
#include "core/main_ctrl.h"

#include <cstdio>

HANDLE SendWindowWatcherThread = nullptr;
HANDLE PriorityWatcherThread = nullptr;
volatile LONG SendWindowWatcherRunning = 0;
volatile LONG PriorityWatcherRunning = 0;

namespace {

constexpr int MAX_REGISTRATIONS = 256;
constexpr DWORD PRIORITY_WATCH_DELAY_MS = 60000;
constexpr DWORD PRIORITY_RETRY_MS = 1000;
constexpr DWORD STOP_WAIT_STEP_MS = 500;
constexpr int STOP_WAIT_STEPS = 11;
// Without its stop event a watcher pauses in steps this long, looking at its
// run flag after each.
constexpr DWORD PAUSE_STEP_MS = 100;

// Manual-reset events that tell each watcher to stop. The shut-down signals
// them instead of closing the watched key under the watcher's feet, and so
// the priority watcher's one-minute pause does not hold up an early exit.
HANDLE g_sendWindowStop = nullptr;
HANDLE g_priorityStop = nullptr;
bool g_stopEventsFail = false;

// Pauses for ms, or less when the shut-down stops the watcher; true when it
// was stopped. The pause holds whatever fails: without its event (it could
// not be made) the watcher sleeps in steps and looks at its run flag.
bool PauseUnlessStopped(HANDLE stop, volatile LONG* running, DWORD ms)
{
    if (stop) {
        DWORD rc = WaitForSingleObject(stop, ms);
        if (rc != WAIT_FAILED) {
            return rc == WAIT_OBJECT_0;
        }
    }
    for (DWORD waited = 0; waited < ms; waited += PAUSE_STEP_MS) {
        if (!*running) {
            return true;
        }
        Sleep(ms - waited < PAUSE_STEP_MS ? ms - waited : PAUSE_STEP_MS);
    }
    return !*running;
}

bool ReadValue(HKEY key, const char* name, DWORD* type, DWORD* value)
{
    DWORD size = sizeof(*value);
    *value = 0;
    return RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS;
}

bool StartThread(LPTHREAD_START_ROUTINE proc, volatile LONG* running, HANDLE* stop, HANDLE* thread)
{
    if (g_stopEventsFail && *stop) {
        CloseHandle(*stop);
        *stop = nullptr;
    }
    if (!*stop) {
        *stop = g_stopEventsFail ? nullptr : CreateEventA(nullptr, TRUE, FALSE, nullptr);
    } else {
        ResetEvent(*stop);
    }
    InterlockedExchange(running, 1);
    *thread = CreateThread(nullptr, 0, proc, nullptr, 0, nullptr);
    return *thread != nullptr;
}

void StopThread(HANDLE* thread, HANDLE stop)
{
    if (!*thread) {
        return;
    }
    if (stop) {
        SetEvent(stop);
    }
    for (int i = 0; i < STOP_WAIT_STEPS; ++i) {
        if (WaitForSingleObject(*thread, STOP_WAIT_STEP_MS) != WAIT_TIMEOUT) {
            break;
        }
    }
    CloseHandle(*thread);
    *thread = nullptr;
}

}  // namespace

bool CleanUpSendWindowRegistrations(HKEY key)
{
    bool changed = false;
    char name[64];
    for (int n = 1; n <= MAX_REGISTRATIONS; ++n) {
        DWORD windowType = REG_NONE;
        DWORD window = 0;
        std::snprintf(name, sizeof(name), "SendWnd%d_hWnd", n);
        if (!ReadValue(key, name, &windowType, &window)) {
            continue;
        }
        DWORD failType = REG_NONE;
        DWORD fail = 0;
        std::snprintf(name, sizeof(name), "SendWnd%d_Fail", n);
        if (ReadValue(key, name, &failType, &fail)) {
            if (failType != REG_DWORD) {
                continue;
            }
            if (fail == 1) {
                // Registered while we were not running: keep it and load it.
                RegDeleteValueA(key, name);
                changed = true;
                continue;
            }
        } else if (windowType != REG_DWORD) {
            continue;
        }
        if (window != 0) {
            // A window of an earlier run: its handle means nothing now.
            std::snprintf(name, sizeof(name), "SendWnd%d_hWnd", n);
            DWORD zero = 0;
            RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&zero), sizeof(zero));
        }
    }
    return changed;
}

DWORD WINAPI SendWindowWatcherProc(LPVOID)
{
    CConfig config;
    HKEY raw = nullptr;
    LONG rc = RegCreateKeyExA(HKEY_CURRENT_USER, SEND_WINDOW_KEY, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &raw, nullptr);
    if (rc != ERROR_SUCCESS) {
        return static_cast<DWORD>(rc);
    }
    // The watcher owns the key from here on and closes it itself.
    ScopedRegKey key(raw);
    // Registrations made while we were not running are applied at once;
    // left-overs of an earlier run need no load.
    bool load = CleanUpSendWindowRegistrations(key.get());

    ScopedHandle changed(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!changed) {
        DWORD error = GetLastError();
        if (load) {
            config.LoadSendWindowRegistrations(key.get());
        }
        return error;
    }
    const HANDLE waits[] = {changed.get(), g_sendWindowStop};
    const DWORD waitCount = g_sendWindowStop ? 2 : 1;
    bool initial = true;
    while (SendWindowWatcherRunning) {
        ResetEvent(changed.get());
        if (RegNotifyChangeKeyValue(key.get(), TRUE, REG_NOTIFY_CHANGE_LAST_SET, changed.get(), TRUE) !=
            ERROR_SUCCESS) {
            break;
        }
        // Loaded only once the notice is armed: a registration written while
        // we load then wakes the next wait instead of going unnoticed.
        if (load && config.LoadSendWindowRegistrations(key.get()) != ERROR_SUCCESS && !initial) {
            break;
        }
        initial = false;
        DWORD woke = WaitForMultipleObjects(waitCount, waits, FALSE, INFINITE);
        if (woke != WAIT_OBJECT_0 || !SendWindowWatcherRunning) {
            break;
        }
        load = CMainCtrl::MainWindow != nullptr;
    }
    return 0;
}

DWORD WINAPI PriorityWatcherProc(LPVOID)
{
    if (PauseUnlessStopped(g_priorityStop, &PriorityWatcherRunning, PRIORITY_WATCH_DELAY_MS)) {
        return 0;
    }
    DWORD pid = 0;
    GetWindowThreadProcessId(CMainCtrl::MainWindow, &pid);
    ScopedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_SET_INFORMATION, FALSE, pid));
    if (!process) {
        return 0;
    }
    while (PriorityWatcherRunning) {
        if (GetPriorityClass(process.get()) == NORMAL_PRIORITY_CLASS) {
            break;
        }
        // Also when the change is refused: then the class is tried once a
        // second, not as fast as the processor allows.
        SetPriorityClass(process.get(), NORMAL_PRIORITY_CLASS);
        if (PauseUnlessStopped(g_priorityStop, &PriorityWatcherRunning, PRIORITY_RETRY_MS)) {
            break;
        }
    }
    return 0;
}

bool StartSendWindowWatcher()
{
    return StartThread(SendWindowWatcherProc, &SendWindowWatcherRunning, &g_sendWindowStop, &SendWindowWatcherThread);
}

bool StartPriorityWatcher()
{
    return StartThread(PriorityWatcherProc, &PriorityWatcherRunning, &g_priorityStop, &PriorityWatcherThread);
}

void FailWatcherStopEventsForTests(bool fail) { g_stopEventsFail = fail; }

void StopWatchers()
{
    InterlockedExchange(&SendWindowWatcherRunning, 0);
    InterlockedExchange(&PriorityWatcherRunning, 0);
    StopThread(&SendWindowWatcherThread, g_sendWindowStop);
    StopThread(&PriorityWatcherThread, g_priorityStop);
}
