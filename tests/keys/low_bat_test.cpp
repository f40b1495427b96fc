#include "keys/low_bat_ctrl.h"

#include "tests/support/journal_reader.h"
#include "tests/support/kova_process.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

class LowBatTest : public ::testing::Test {
protected:
    RegistrySandbox sandbox;
    ScopedJournal journal;
};

TEST_F(LowBatTest, WarningsReachTheLibraryWhileAnyNotifierLives)
{
    // kova.exe finds the library next to itself; the test points the search there.
    SetDllDirectoryA(StagedPath("").c_str());
    auto first = std::make_unique<CLowBatCtrl>();
    auto second = std::make_unique<CLowBatCtrl>();
    ASSERT_TRUE(CLowBatCtrl::IsBound());
    first->NotifyBatteryLow(BATTERY_WARNING_BIT15);
    second->NotifyBatteryLow(BATTERY_WARNING_BIT14);
    auto calls = journal.Calls("cellwarn.dll", "DeviceLowBat");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], "cellwarn.dll DeviceLowBat which=0");
    EXPECT_EQ(calls[1], "cellwarn.dll DeviceLowBat which=1");

    first.reset();
    EXPECT_TRUE(CLowBatCtrl::IsBound()) << "bound while one notifier lives";
    second->NotifyBatteryLow(0);
    EXPECT_EQ(journal.Calls("cellwarn.dll", "DeviceLowBat").size(), 3u);

    CLowBatCtrl* last = second.get();
    second.reset();
    EXPECT_FALSE(CLowBatCtrl::IsBound());
    EXPECT_EQ(GetModuleHandleA("cellwarn.dll"), nullptr) << "freed with the last notifier";
    (void)last;
    SetDllDirectoryA(nullptr);
}

TEST_F(LowBatTest, WithoutTheLibraryWarningsAreDropped)
{
    CLowBatCtrl notifier;
    EXPECT_FALSE(CLowBatCtrl::IsBound());
    notifier.NotifyBatteryLow(0);
    EXPECT_TRUE(journal.Calls("cellwarn.dll", "DeviceLowBat").empty());
}

}  // namespace
