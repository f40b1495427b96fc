// Needs the real foreground window, which is shared by the whole session:
// runs with the serialized tests.

#include "config/config.h"

#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

namespace {

TEST(DisplayModeSessionTest, DesktopModeLooksAtTheRealForegroundWindow)
{
    RegistrySandbox sandbox;
    ResetConfigStoreForTests();
    SetEnvironmentVariableA("KOVA_DSPPRB_MODE", "1");
    {
        CConfig config;

        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "Windows.UI.Core.CoreWindow";
        ASSERT_NE(RegisterClassA(&wc), 0);
        HWND window = CreateWindowExA(0, wc.lpszClassName, "immersive", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200,
                                      100, nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(window, nullptr);
        SetForegroundWindow(window);
        ASSERT_EQ(GetForegroundWindow(), window);
        EXPECT_EQ(CConfig::QueryDisplayMode(), 2u);
        DestroyWindow(window);
        EXPECT_NE(CConfig::QueryDisplayMode(), 2u);
    }
    ResetConfigStoreForTests();
    SetEnvironmentVariableA("KOVA_DSPPRB_MODE", nullptr);
}

}  // namespace
