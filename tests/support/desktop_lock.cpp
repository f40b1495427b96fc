#include "tests/support/desktop_lock.h"

#include <gtest/gtest.h>

namespace {

constexpr char SEMAPHORE_NAME[] = "Local\\KovaTestDesktopShares";
// More than ctest ever runs at once.
constexpr LONG SHARES = 64;
// A share is held for one test program's run, a few seconds at most; never
// wait forever on a program that died holding one.
constexpr DWORD SHARE_WAIT_MS = 60000;

HANDLE OpenShares() { return CreateSemaphoreA(nullptr, SHARES, SHARES, SEMAPHORE_NAME); }

class DesktopShare : public ::testing::Environment {
public:
    void SetUp() override
    {
        m_semaphore = OpenShares();
        m_held = m_semaphore && WaitForSingleObject(m_semaphore, SHARE_WAIT_MS) == WAIT_OBJECT_0;
    }
    void TearDown() override
    {
        if (m_held) {
            ReleaseSemaphore(m_semaphore, 1, nullptr);
        }
        if (m_semaphore) {
            CloseHandle(m_semaphore);
        }
    }

private:
    HANDLE m_semaphore = nullptr;
    bool m_held = false;
};

}  // namespace

ExclusiveDesktopUse::ExclusiveDesktopUse() : m_semaphore(OpenShares())
{
    while (m_semaphore && m_held < SHARES && WaitForSingleObject(m_semaphore, SHARE_WAIT_MS) == WAIT_OBJECT_0) {
        ++m_held;
    }
}

ExclusiveDesktopUse::~ExclusiveDesktopUse()
{
    if (m_held) {
        ReleaseSemaphore(m_semaphore, m_held, nullptr);
    }
    if (m_semaphore) {
        CloseHandle(m_semaphore);
    }
}

void HoldDesktopShareForTheWholeRun() { ::testing::AddGlobalTestEnvironment(new DesktopShare); }
