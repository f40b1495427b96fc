#include "config/config.h"

#include "config/os_class.h"
#include "config/regs.h"

#include <algorithm>

namespace {

ConfigStore g_store;
// Tests only: the OS class to play instead of the one read (0: none).
uint32_t g_osClassOverride = 0;

uint32_t ReadOsClass()
{
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof(info);
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)
#endif
    if (!GetVersionExA(&info)) {
        return 0;
    }
    return ClassifyOsVersion(info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber);
}

// The load sequence. Its order matters: the on-screen settings are read from
// three places, each overriding the one before.
void LoadStore(ConfigStore& s)
{
    // 1. Start from an empty store.
    ::ReleaseDeviceIdentities(s.Identities);
    s.Controls = ControlSettings{};
    s.OsClass = 0;
    s.Probe = DisplayProbe{};
    s.TargetWindows.Clear();
    // 2. Device identities.
    LoadDeviceIdentities(s.Identities);
    // 3. Controls values.
    LoadControlSettings(s.Controls);
    // 4. Description texts of the remote control.
    LoadRemoteTexts(s.Remote);
    // 5. On-screen texts of the remote control.
    LoadOnScreenTexts(s.OnScreenText);
    // 6. Browser window classes.
    LoadBrowserClasses(s.Browsers);
    // 7. Special applications.
    LoadSpecialApps(s.Specials);
    // 8. Target windows. No other thread exists yet; the lock is taken all
    // the same so the table has one rule.
    AcquireSRWLockExclusive(&s.TargetWindowLock);
    LoadTargetWindows(s.TargetWindows);
    ReleaseSRWLockExclusive(&s.TargetWindowLock);
    // 9. OS class.
    s.OsClass = g_osClassOverride ? g_osClassOverride : ReadOsClass();
    // 10. Brivue install path.
    LoadBrivueInstallation(s.Brivue);
    // 11. Audio-control strings.
    LoadAudioControlStrings(s.AudioStrings);
    // 12. Player windows.
    LoadPlayerWindows(s.Players);
    // 13. Default on-screen settings.
    s.OnScreen = OnScreenSettings{};
    ReadOnScreenSettings(HKEY_LOCAL_MACHINE, ONSCREEN_DEFAULT_KEY, s.OnScreen);
    // 14. The user's on-screen settings.
    ReadOnScreenSettings(HKEY_CURRENT_USER, ONSCREEN_USER_KEY, s.OnScreen);
    // 15. OSD_Enable.
    ReadOsdEnable(s.OnScreen);
    // 16. Keyboard description texts.
    LoadKeyboardTexts(s.Keyboard);
    // 17. Display probe: initialised once per process, on Windows 8 and later.
    s.Probe.Bind(s.OsClass);
    // 18. Loaded.
    s.LoadPending = false;
}

}  // namespace

CConfig::CConfig()
{
    if (InterlockedIncrement(&g_store.RefCount) == 1 && g_store.LoadPending) {
        LoadStore(g_store);
    }
}

CConfig::~CConfig()
{
    if (InterlockedDecrement(&g_store.RefCount) == 0) {
        g_store.Probe.Release();
    }
}

ConfigStore& CConfig::Store() { return g_store; }

const ControlSettings& CConfig::GetControlSettings() { return g_store.Controls; }

uint32_t CConfig::GetOsClass() { return g_store.OsClass; }

uint32_t CConfig::QueryDisplayMode() { return g_store.Probe.QueryDisplayMode(g_store.OsClass); }

LONG CConfig::InstanceCount() { return g_store.RefCount; }

BOOL CConfig::IsTunerDeckInstalled()
{
    CRegs regs;
    if (regs.Open(HKEY_LOCAL_MACHINE, TUNERDECK_KEY, KEY_READ) != ERROR_SUCCESS) {
        return FALSE;
    }
    char name[129] = {};
    uint32_t len = 0;
    LONG rc = regs.QueryString(name, sizeof(name), "AppName", &len);
    regs.Close();
    return rc == ERROR_SUCCESS ? TRUE : FALSE;
}

BOOL CConfig::AddDeviceIdentity(uint32_t productId, uint32_t vendorId, uint32_t flags, const char* pathWord)
{
    return ::AddDeviceIdentity(g_store.Identities, productId, vendorId, flags, pathWord) ? TRUE : FALSE;
}

const DeviceIdentityTable& CConfig::GetDeviceIdentities() { return g_store.Identities; }

void CConfig::ReleaseDeviceIdentities() { ::ReleaseDeviceIdentities(g_store.Identities); }

OnScreenSettings CConfig::GetOnScreenSettings()
{
    AcquireSRWLockShared(&g_store.OnScreenLock);
    OnScreenSettings copy = g_store.OnScreen;
    ReleaseSRWLockShared(&g_store.OnScreenLock);
    return copy;
}

void CConfig::ReloadOnScreenSettings(int reason)
{
    if (reason != 1) {
        return;
    }
    // Read into a copy without the lock (registry reads may be slow), then
    // publish it in one short exclusive section.
    OnScreenSettings fresh = GetOnScreenSettings();
    ReadOnScreenSettings(HKEY_CURRENT_USER, ONSCREEN_USER_KEY, fresh);
    ReadOsdEnable(fresh);
    AcquireSRWLockExclusive(&g_store.OnScreenLock);
    g_store.OnScreen = fresh;
    ReleaseSRWLockExclusive(&g_store.OnScreenLock);
}

const RemoteTexts& CConfig::GetRemoteTexts() { return g_store.Remote; }

const KeyboardTexts& CConfig::GetKeyboardTexts() { return g_store.Keyboard; }

const OnScreenTexts& CConfig::GetOnScreenTexts() { return g_store.OnScreenText; }

const AudioControlStrings& CConfig::GetAudioControlStrings() { return g_store.AudioStrings; }

const BrowserClasses& CConfig::GetBrowserClasses() { return g_store.Browsers; }

const SpecialApps& CConfig::GetSpecialApps() { return g_store.Specials; }

const PlayerWindows& CConfig::GetPlayerWindows() { return g_store.Players; }

const BrivueInstallation& CConfig::GetBrivueInstallation() { return g_store.Brivue; }

// The target-window table has two writers on two threads (registrations on
// the main thread, the send-window watcher on its own) and its reader on the
// main thread. Every access holds TargetWindowLock only for a copy of at
// most one table's worth of plain data, so the main thread never waits on
// the watcher's registry reads.

int CConfig::GetTargetWindowHighest()
{
    AcquireSRWLockShared(&g_store.TargetWindowLock);
    int highest = g_store.TargetWindows.Highest();
    ReleaseSRWLockShared(&g_store.TargetWindowLock);
    return highest;
}

int CConfig::GetTargetWindowStaticCount()
{
    AcquireSRWLockShared(&g_store.TargetWindowLock);
    int count = g_store.TargetWindows.StaticCount();
    ReleaseSRWLockShared(&g_store.TargetWindowLock);
    return count;
}

bool CConfig::GetTargetWindow(int index, TargetWindowEntry* out)
{
    if (!out || index < 0 || index >= TARGET_WINDOW_MAX) {
        return false;
    }
    AcquireSRWLockShared(&g_store.TargetWindowLock);
    *out = g_store.TargetWindows.Entry(index);
    ReleaseSRWLockShared(&g_store.TargetWindowLock);
    return true;
}

int CConfig::CopyTargetWindows(TargetWindowEntry* out, int capacity)
{
    if (!out || capacity <= 0) {
        return 0;
    }
    AcquireSRWLockShared(&g_store.TargetWindowLock);
    int count = std::min(g_store.TargetWindows.Highest(), capacity);
    for (int i = 0; i < count; ++i) {
        out[i] = g_store.TargetWindows.Entry(i);
    }
    ReleaseSRWLockShared(&g_store.TargetWindowLock);
    return count;
}

bool CConfig::CacheTargetWindowHandle(int index, HWND window)
{
    AcquireSRWLockExclusive(&g_store.TargetWindowLock);
    bool stored = g_store.TargetWindows.CacheWindow(index, window);
    ReleaseSRWLockExclusive(&g_store.TargetWindowLock);
    return stored;
}

int CConfig::RegisterTargetWindow(const TargetWindowRegistration& registration)
{
    AcquireSRWLockExclusive(&g_store.TargetWindowLock);
    int rc = g_store.TargetWindows.Register(registration.hOwnerWnd, registration.ucId, registration.uMsg,
                                            registration.dwCtrl);
    ReleaseSRWLockExclusive(&g_store.TargetWindowLock);
    return rc;
}

LONG CConfig::LoadSendWindowRegistrations(HKEY key)
{
    // Gathered first, outside the lock: the registry may be slow, and the
    // main thread must not wait for it in the middle of a button press.
    SendWindowRegistrations registrations;
    LONG rc = GatherSendWindowRegistrations(key, &registrations);
    if (rc != ERROR_SUCCESS) {
        return rc;
    }
    AcquireSRWLockExclusive(&g_store.TargetWindowLock);
    g_store.TargetWindows.Apply(registrations);
    ReleaseSRWLockExclusive(&g_store.TargetWindowLock);
    return ERROR_SUCCESS;
}

void ResetConfigStoreForTests()
{
    g_store.Probe.Release();
    ::ReleaseDeviceIdentities(g_store.Identities);
    g_store = ConfigStore{};
    g_osClassOverride = 0;
}

void OverrideOsClassForTests(uint32_t osClass)
{
    g_osClassOverride = osClass;
    if (!g_store.LoadPending) {
        g_store.OsClass = osClass ? osClass : ReadOsClass();
    }
}
