#include "core/main_ctrl.h"

#include "core/folders.h"

#include <imm.h>
#include <wtsapi32.h>

#include <cstdint>
#include <cstdio>

HWND CMainCtrl::MainWindow = nullptr;
HINSTANCE CMainCtrl::AppInstance = nullptr;
LONG CMainCtrl::ConsoleConnected = 1;
LONG CMainCtrl::SessionLocked = 0;
HANDLE CMainCtrl::RestartMutex = nullptr;
LONG CMainCtrl::DisplayOff = 0;
LONG CMainCtrl::WakeReplySent = 0;
LONG CMainCtrl::DisplayOffSeen = 0;

namespace {

constexpr char RESTART_MUTEX_NAME[] = "Local\\ORLAN_KOVA_Mutex_Restart";
constexpr char KOVA_API_DLL[] = "kovaapi.dll";

// The 32-byte record SetRFRemoconLCD takes; a mask of 0x80000000 with every
// other field 0 blanks the display.
struct RemoteLcdRecord {
    uint32_t Size;
    uint32_t Mask;
    uint32_t Fields[6];
};
static_assert(sizeof(RemoteLcdRecord) == 32, "LCD record is 32 bytes");
constexpr uint32_t LCD_MASK_CLEAR = 0x80000000u;

using SetRFRemoconLcdFn = int(WINAPI*)(RemoteLcdRecord*);

}  // namespace

CMainCtrl::CMainCtrl()
{
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);
    ConsoleConnected = 1;
    SessionLocked = 0;
    // Opens the mutex when another program of the session already made it.
    RestartMutex = CreateMutexA(nullptr, FALSE, RESTART_MUTEX_NAME);
    if (GetControlSettings().IME_Disable) {
        ImmDisableIME(static_cast<DWORD>(-1));
    }
    char path[MAX_PATH] = {};
    if (BuildRemoteProgramPath(path, sizeof(path), KOVA_API_DLL)) {
        KovaApiModule = LoadLibraryA(path);
    }
}

CMainCtrl::~CMainCtrl()
{
    if (KovaApiModule) {
        FreeLibrary(KovaApiModule);
        KovaApiModule = nullptr;
    }
    if (m_sessionNotifyRegistered && MainWindow) {
        WTSUnRegisterSessionNotification(MainWindow);
    }
    if (RestartMutex) {
        CloseHandle(RestartMutex);
        RestartMutex = nullptr;
    }
}

void CMainCtrl::OnCreate(HWND window, HINSTANCE instance)
{
    MainWindow = window;
    AppInstance = instance;
    m_sessionNotifyRegistered = WTSRegisterSessionNotification(window, NOTIFY_FOR_THIS_SESSION) != FALSE;
}

void CMainCtrl::OnDestroy() {}

BOOL CMainCtrl::ClearRemoteLcd()
{
    if (!KovaApiModule) {
        return FALSE;
    }
    RemoteLcdRecord record{};
    record.Size = sizeof(record);
    record.Mask = LCD_MASK_CLEAR;
    // Looked up every time: the export is optional in older libraries.
    auto set = reinterpret_cast<SetRFRemoconLcdFn>(
        reinterpret_cast<void*>(GetProcAddress(KovaApiModule, "SetRFRemoconLCD")));
    if (!set) {
        return FALSE;
    }
    return set(&record) == 0 ? TRUE : FALSE;
}
