#include "config/device_identities.h"

#include "config/config.h"
#include "hid/hid_device_info.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct TableOwner {
    DeviceIdentityTable table{};
    ~TableOwner() { ReleaseDeviceIdentities(table); }
};

bool Match(const DeviceIdentityTable& t, uint16_t page, uint16_t usage, const char* path, uint32_t* flags = nullptr,
           uint32_t vendor = 0x0BDA, uint32_t product = 0x0150)
{
    return MatchDeviceIdentity(t, page, usage, vendor, product, path, flags);
}

TEST(DeviceIdentityTest, UsagePageAndUsageComeFirst)
{
    TableOwner o;
    ASSERT_TRUE(AddDeviceIdentity(o.table, 0x0150, 0x0BDA, 0, nullptr));
    for (uint16_t page : {0x000C, 0xFFBC, 0xFF01, 0xFF02}) {
        for (uint16_t usage : {0x01, 0x88, 0x90}) {
            EXPECT_TRUE(Match(o.table, page, usage, "x")) << page << "/" << usage;
        }
    }
    EXPECT_FALSE(Match(o.table, 0x0001, 0x06, "x")) << "a keyboard collection of the same device";
    EXPECT_FALSE(Match(o.table, 0xFF01, 0x02, "x"));
    EXPECT_FALSE(Match(o.table, 0x000C, 0x01, "x", nullptr, 0x0BDA, 0x0151)) << "other product";
    EXPECT_FALSE(Match(o.table, 0x000C, 0x01, "x", nullptr, 0x0BDB, 0x0150)) << "other vendor";
}

TEST(DeviceIdentityTest, PathWordIsASubstringWithoutCase)
{
    TableOwner o;
    ASSERT_TRUE(AddDeviceIdentity(o.table, 0x0150, 0x0BDA, 1, "&Col02"));
    uint32_t flags = 0;
    EXPECT_TRUE(Match(o.table, 0xFFBC, 0x88, "\\\\?\\HID#VID_0BDA&PID_0150&COL02#8&1", &flags));
    EXPECT_EQ(flags, 1u);
    EXPECT_FALSE(Match(o.table, 0xFFBC, 0x88, "\\\\?\\hid#vid_0bda&pid_0150&col03#8&1"));
    // An empty path, or one of 260 characters or more, is not compared.
    EXPECT_TRUE(Match(o.table, 0xFFBC, 0x88, ""));
    EXPECT_TRUE(Match(o.table, 0xFFBC, 0x88, nullptr));
    EXPECT_TRUE(Match(o.table, 0xFFBC, 0x88, std::string(260, 'z').c_str()));
    EXPECT_FALSE(Match(o.table, 0xFFBC, 0x88, std::string(259, 'z').c_str()));
}

TEST(DeviceIdentityTest, OverLongOrEmptyWordsAreNotTested)
{
    TableOwner o;
    ASSERT_TRUE(AddDeviceIdentity(o.table, 0x0150, 0x0BDA, 0, std::string(260, 'q').c_str()));
    EXPECT_TRUE(Match(o.table, 0x000C, 0x01, "\\\\?\\hid#anything"));
    TableOwner e;
    ASSERT_TRUE(AddDeviceIdentity(e.table, 0x0150, 0x0BDA, 0, ""));
    EXPECT_TRUE(Match(e.table, 0x000C, 0x01, "\\\\?\\hid#anything"));
    TableOwner w;
    ASSERT_TRUE(AddDeviceIdentity(w.table, 0x0150, 0x0BDA, 0, std::string(259, 'q').c_str()));
    EXPECT_FALSE(Match(w.table, 0x000C, 0x01, "\\\\?\\hid#anything"));
}

TEST(DeviceIdentityTest, FirstMatchingEntryGivesTheFlags)
{
    TableOwner o;
    ASSERT_TRUE(AddDeviceIdentity(o.table, 0x0150, 0x0BDA, 0, "col09"));
    ASSERT_TRUE(AddDeviceIdentity(o.table, 0x0150, 0x0BDA, 1, "col0"));
    ASSERT_TRUE(AddDeviceIdentity(o.table, 0x0150, 0x0BDA, 0, nullptr));
    uint32_t flags = 7;
    EXPECT_TRUE(Match(o.table, 0x000C, 0x01, "hid#col01", &flags));
    EXPECT_EQ(flags, 1u);
    EXPECT_TRUE(Match(o.table, 0x000C, 0x01, "hid#mi_00", &flags));
    EXPECT_EQ(flags, 0u);
}

TEST(DeviceIdentityTest, SameIdsAndWordMergeTheirFlags)
{
    TableOwner o;
    ASSERT_TRUE(AddDeviceIdentity(o.table, 0x0150, 0x0BDA, 1, "Col03"));
    ASSERT_TRUE(AddDeviceIdentity(o.table, 0x0150, 0x0BDA, 4, "cOL03"));
    ASSERT_EQ(o.table.Count, 1);
    EXPECT_EQ(o.table.Entries[0].DeviceFlags, 5u);
    EXPECT_STREQ(o.table.Entries[0].PathWord, "Col03") << "kept in its first case";
    // A missing word and an empty one are the same word.
    ASSERT_TRUE(AddDeviceIdentity(o.table, 0x0150, 0x0BDA, 2, nullptr));
    ASSERT_TRUE(AddDeviceIdentity(o.table, 0x0150, 0x0BDA, 8, ""));
    ASSERT_EQ(o.table.Count, 2);
    EXPECT_EQ(o.table.Entries[1].PathWord, nullptr);
    EXPECT_EQ(o.table.Entries[1].DeviceFlags, 10u);
    // Other ids append.
    ASSERT_TRUE(AddDeviceIdentity(o.table, 0x0151, 0x0BDA, 0, "Col03"));
    EXPECT_EQ(o.table.Count, 3);
}

TEST(DeviceIdentityTest, TableHoldsTenAndRefusesMore)
{
    TableOwner o;
    for (uint32_t i = 0; i < DEVICE_IDENTITY_MAX; ++i) {
        ASSERT_TRUE(AddDeviceIdentity(o.table, i, 0x0BDA, 0, nullptr));
    }
    EXPECT_FALSE(AddDeviceIdentity(o.table, 99, 0x0BDA, 0, nullptr));
    EXPECT_TRUE(AddDeviceIdentity(o.table, 3, 0x0BDA, 1, nullptr)) << "a merge still works when full";
    EXPECT_EQ(o.table.Count, DEVICE_IDENTITY_MAX);
    ReleaseDeviceIdentities(o.table);
    EXPECT_EQ(o.table.Count, 0);
}

class DeviceIdentityLoadTest : public ::testing::Test {
protected:
    void SetUp() override { ResetConfigStoreForTests(); }
    void TearDown() override { ResetConfigStoreForTests(); }
    static void Set(const char* name, uint32_t value)
    {
        RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, DEVICE_IDENTITY_KEY, name, value);
    }
    RegistrySandbox sandbox;
};

TEST_F(DeviceIdentityLoadTest, NumberedValuesUpToTheFirstGap)
{
    Set("ProductID1", 0x0150);
    Set("VendorID1", 0x0BDA);
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, DEVICE_IDENTITY_KEY, "ChkPathWord1", " Col03\t");
    Set("ProductID2", 0x0151);
    Set("VendorID2", 0x0BDA);
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, DEVICE_IDENTITY_KEY, "ChkPathWord2", std::string(521, 'w'));
    Set("ProductID3", 0x0152);  // no VendorID3: the list ends here
    Set("ProductID4", 0x0153);
    Set("VendorID4", 0x0BDA);

    CConfig config;
    const DeviceIdentityTable& t = config.GetDeviceIdentities();
    ASSERT_EQ(t.Count, 2);
    EXPECT_EQ(t.Entries[0].ProductID, 0x0150u);
    EXPECT_EQ(t.Entries[0].VendorID, 0x0BDAu);
    EXPECT_EQ(t.Entries[0].DeviceFlags, 0u);
    EXPECT_STREQ(t.Entries[0].PathWord, " Col03\t") << "read untrimmed";
    EXPECT_EQ(t.Entries[1].PathWord, nullptr) << "longer than 520 characters: unreadable";

    HidDeviceInfo info{};
    info.Caps.UsagePage = 0xFFBC;
    info.Caps.Usage = 0x88;
    info.Attributes.VendorID = 0x0BDA;
    info.Attributes.ProductID = 0x0151;
    char path[] = "\\\\?\\hid#vid_0bda&pid_0151&col01";
    info.DevicePath = path;
    uint32_t flags = 9;
    EXPECT_TRUE(CConfig::MatchDevice(info, &flags));
    EXPECT_EQ(flags, 0u);
    info.Attributes.ProductID = 0x0153;
    EXPECT_FALSE(CConfig::MatchDevice(info, &flags));

    CConfig::ReleaseDeviceIdentities();
    EXPECT_EQ(config.GetDeviceIdentities().Count, 0);
}

TEST_F(DeviceIdentityLoadTest, TextsAndShortValuesAreNoIds)
{
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, DEVICE_IDENTITY_KEY, "ProductID1", "336");
    Set("VendorID1", 0x0BDA);
    CConfig config;
    EXPECT_EQ(config.GetDeviceIdentities().Count, 0);
}

}  // namespace
