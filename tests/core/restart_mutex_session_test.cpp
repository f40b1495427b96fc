// Which notices take "Local\ORLAN_KOVA_Mutex_Restart": another thread holds
// it, as another program of the session may, and each notice either waits
// for it or goes through at once. The mutex is a session-wide object, so
// these tests run with the whole-process tests, one at a time.

#include "core/main_ctrl.h"

#include "base/messages.h"
#include "tests/core/hub_fixture.h"
#include "tests/support/registry_sandbox.h"

#include <dbt.h>
#include <gtest/gtest.h>
#include <wtsapi32.h>

#include <functional>
#include <memory>
#include <vector>

namespace {

// How long the holder keeps the mutex when nobody tells it to let go.
constexpr DWORD HOLD_MS = 700;

class MutexHolder {
public:
    MutexHolder()
        : m_held(CreateEventA(nullptr, TRUE, FALSE, nullptr)), m_release(CreateEventA(nullptr, TRUE, FALSE, nullptr))
    {
        m_thread = CreateThread(nullptr, 0, Main, this, 0, nullptr);
        EXPECT_EQ(WaitForSingleObject(m_held, 10000), WAIT_OBJECT_0);
    }
    ~MutexHolder()
    {
        SetEvent(m_release);
        WaitForSingleObject(m_thread, INFINITE);
        CloseHandle(m_thread);
        CloseHandle(m_held);
        CloseHandle(m_release);
    }
    // The holder has let go because its time was up.
    bool TimedOut() const { return m_timedOut != 0; }

private:
    static DWORD WINAPI Main(void* self)
    {
        auto* holder = static_cast<MutexHolder*>(self);
        HANDLE mutex = CreateMutexA(nullptr, FALSE, RESTART_MUTEX_NAME);
        WaitForSingleObject(mutex, INFINITE);
        SetEvent(holder->m_held);
        if (WaitForSingleObject(holder->m_release, HOLD_MS) == WAIT_TIMEOUT) {
            InterlockedExchange(&holder->m_timedOut, 1);
        }
        ReleaseMutex(mutex);
        CloseHandle(mutex);
        return 0;
    }

    HANDLE m_held;
    HANDLE m_release;
    HANDLE m_thread = nullptr;
    volatile LONG m_timedOut = 0;
};

// True when the notice had to wait for the held mutex.
bool WaitsForTheMutex(const std::function<void()>& notice)
{
    MutexHolder holder;
    notice();
    return holder.TimedOut();
}

class RestartMutexTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetConfigStoreForTests();
        HubLog::Clear();
    }
    void TearDown() override
    {
        window.reset();
        ResetConfigStoreForTests();
    }
    void Start() { window = std::make_unique<MainWindowHost>(); }
    HWND Window() const { return window->Handle(); }

    std::function<void()> Send(UINT message, WPARAM wParam, LPARAM lParam = 0)
    {
        return [=, this] { SendMessageA(Window(), message, wParam, lParam); };
    }

    RegistrySandbox sandbox;
    std::unique_ptr<MainWindowHost> window;
};

struct Notices {
    DEV_BROADCAST_HANDLE handle{};
    std::vector<uint8_t> interfaceBytes;
    Notices() : interfaceBytes(sizeof(DEV_BROADCAST_DEVICEINTERFACE_A) + 32, 0)
    {
        handle.dbch_size = sizeof(handle);
        handle.dbch_devicetype = DBT_DEVTYP_HANDLE;
        handle.dbch_handle = reinterpret_cast<HANDLE>(0x4321);
        auto* rec = Interface();
        rec->dbcc_size = static_cast<DWORD>(interfaceBytes.size());
        rec->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        strcpy(rec->dbcc_name, "\\\\?\\hid#nothing#1");
    }
    DEV_BROADCAST_DEVICEINTERFACE_A* Interface()
    {
        return reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(interfaceBytes.data());
    }
    LPARAM H() { return reinterpret_cast<LPARAM>(&handle); }
    LPARAM I() { return reinterpret_cast<LPARAM>(Interface()); }
};

TEST_F(RestartMutexTest, DeviceNoticesOfTheirKindWaitForTheMutexAndOthersDoNot)
{
    Start();
    Notices n;
    EXPECT_TRUE(WaitsForTheMutex(Send(WM_DEVICECHANGE, DBT_DEVICEARRIVAL, n.I())));
    EXPECT_TRUE(WaitsForTheMutex(Send(WM_DEVICECHANGE, DBT_DEVICEQUERYREMOVE, n.H())));
    EXPECT_TRUE(WaitsForTheMutex(Send(WM_DEVICECHANGE, DBT_DEVICEQUERYREMOVEFAILED, 0)));
    EXPECT_TRUE(WaitsForTheMutex(Send(WM_DEVICECHANGE, DBT_DEVICEREMOVEPENDING, n.H())));
    EXPECT_TRUE(WaitsForTheMutex(Send(WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, n.H())));

    EXPECT_FALSE(WaitsForTheMutex(Send(WM_DEVICECHANGE, DBT_DEVICEARRIVAL, n.H())));
    EXPECT_FALSE(WaitsForTheMutex(Send(WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0)));
    EXPECT_FALSE(WaitsForTheMutex(Send(WM_DEVICECHANGE, DBT_DEVICEQUERYREMOVE, n.I())));
    EXPECT_FALSE(WaitsForTheMutex(Send(WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, n.I())));
    EXPECT_FALSE(WaitsForTheMutex(Send(WM_DEVICECHANGE, DBT_DEVICEREMOVEPENDING, 0)));
    EXPECT_FALSE(WaitsForTheMutex(Send(WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0)));
}

TEST_F(RestartMutexTest, SessionNoticesThatChangeTheDevicesWaitForTheMutex)
{
    Start();
    EXPECT_FALSE(WaitsForTheMutex(Send(WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK)));
    EXPECT_FALSE(WaitsForTheMutex(Send(WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK)));
    EXPECT_FALSE(WaitsForTheMutex(Send(WM_WTSSESSION_CHANGE, WTS_REMOTE_CONNECT)));
    EXPECT_TRUE(WaitsForTheMutex(Send(WM_WTSSESSION_CHANGE, WTS_CONSOLE_DISCONNECT)));
    EXPECT_EQ(CMainCtrl::DeviceActive, 0);
    EXPECT_TRUE(WaitsForTheMutex(Send(WM_WTSSESSION_CHANGE, WTS_CONSOLE_CONNECT)));
    EXPECT_EQ(CMainCtrl::DeviceActive, 1);
}

TEST_F(RestartMutexTest, WithTheMagicKeyLeavingTheConsoleDoesNotTouchTheMutex)
{
    SetControl("MagicKey_SendSighInUser", 1);
    Start();
    EXPECT_FALSE(WaitsForTheMutex(Send(WM_WTSSESSION_CHANGE, WTS_CONSOLE_DISCONNECT)));
    EXPECT_EQ(CMainCtrl::DeviceActive, 1);
}

TEST_F(RestartMutexTest, PowerNoticesPostTheReopenInsteadOfWaiting)
{
    Start();
    for (WPARAM event : {PBT_APMSUSPEND, PBT_APMRESUMESUSPEND, PBT_APMRESUMECRITICAL, PBT_APMQUERYSUSPENDFAILED}) {
        EXPECT_FALSE(WaitsForTheMutex(Send(WM_POWERBROADCAST, event))) << event;
    }
    // The posted reopens wait when their turn comes.
    EXPECT_TRUE(WaitsForTheMutex([&] { PumpFor(100); }));
    EXPECT_TRUE(WaitsForTheMutex(Send(WM_HID_REOPEN, 0)));
    EXPECT_TRUE(WaitsForTheMutex(Send(WM_HID_REOPEN_WAKE, 0)));
}

TEST_F(RestartMutexTest, ReportsAndClientRequestsNeverWaitForTheMutex)
{
    Start();
    window->InstallKeyController();
    COPYDATASTRUCT copy{};
    EXPECT_FALSE(WaitsForTheMutex(Send(WM_HID_REPORT, 0, 0x1234)));
    EXPECT_FALSE(WaitsForTheMutex(Send(WM_HID_READ_NEXT, 0, 0x1234)));
    EXPECT_FALSE(WaitsForTheMutex(Send(WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy))));
    EXPECT_FALSE(WaitsForTheMutex(Send(WM_ENDSESSION, TRUE)));
}

TEST_F(RestartMutexTest, TheWakeCheckReadsUnderTheMutex)
{
    Start();
    window->InstallKeyController();
    EXPECT_TRUE(WaitsForTheMutex([&] { CMainCtrl::WakeCheckTimerProc(Window(), WM_TIMER, IDT_WAKE_CHECK, 0); }));
    // Locked: it stops before the mutex.
    SendMessageA(Window(), WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, 0);
    EXPECT_FALSE(WaitsForTheMutex([&] { CMainCtrl::WakeCheckTimerProc(Window(), WM_TIMER, IDT_WAKE_CHECK, 0); }));
}

}  // namespace
