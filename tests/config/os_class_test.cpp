#include "config/os_class.h"

#include <gtest/gtest.h>

namespace {

struct Version {
    uint32_t major, minor, build, expected;
};

TEST(OsClassTest, EveryRowOfTheTable)
{
    const Version versions[] = {
        {4, 0, 950, 1},      {4, 0, 1111, 2},     {4, 0, 1212, 3},     {4, 0, 1381, 6},   {4, 0, 1000, 0},
        {4, 10, 1998, 4},    {4, 10, 2222, 5},    {4, 10, 2000, 0},    {4, 90, 2223, 8},  {4, 90, 2222, 0},
        {5, 0, 2196, 7},     {5, 0, 2195, 0},     {5, 1, 2506, 9},     {5, 1, 2505, 0},   {5, 2, 3790, 0},
        {6, 0, 6002, 11},    {6, 1, 7601, 13},    {6, 2, 9200, 15},    {6, 3, 9600, 100}, {10, 0, 19045, 100},
        {4, 3, 950, 0},      {3, 51, 1057, 0},    {0, 0, 0, 0},        {7, 0, 0, 100},
    };
    for (const Version& v : versions) {
        EXPECT_EQ(ClassifyOsVersion(v.major, v.minor, v.build), v.expected)
            << v.major << "." << v.minor << " build " << v.build;
    }
}

TEST(OsClassTest, OnlyTheLowSixteenBitsOfTheBuildCount)
{
    // Windows 9x put the version into the high word of the build number.
    EXPECT_EQ(ClassifyOsVersion(4, 10, 0x040A07CE), 4u);
    EXPECT_EQ(ClassifyOsVersion(4, 90, 0x045A0BB8), 8u);
    EXPECT_EQ(ClassifyOsVersion(5, 1, 0x10000), 0u) << "0x10000 is build 0";
}

}  // namespace
