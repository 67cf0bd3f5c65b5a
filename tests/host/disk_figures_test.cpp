#include "wizard/disk_figures.h"

#include <gtest/gtest.h>

TEST(DiskFigures, MegabytesRoundUpAndSaturate) {
    EXPECT_EQ(MegabytesOfBytes(0), 0u);
    EXPECT_EQ(MegabytesOfBytes(1), 1u);
    EXPECT_EQ(MegabytesOfBytes(1048576), 1u);
    EXPECT_EQ(MegabytesOfBytes(5ull << 30), 5120u);  // 5 GB, past what 32 bits hold
    EXPECT_EQ(MegabytesOfBytes(~0ull), 0xFFFFFFFFu);
    EXPECT_EQ(MegabytesOfKilobytes(1025), 2u);
    EXPECT_EQ(MegabytesOfKilobytes(3ull << 30), 3u << 20);  // a 3 TB drive
    EXPECT_EQ(MegabytesOfKilobytes(kUnknownFreeSpace), 0u);
}

TEST(DiskFigures, RoomCountsTheLargestFileOnceMore) {
    EXPECT_EQ(RoundUp(1, 4096), 4096u);
    EXPECT_EQ(RoundUp(8192, 4096), 8192u);
    EXPECT_EQ(RoundUp(0xFFFFFFFFu, 32768), 0x100000000ull);
    EXPECT_EQ(RoundUp(5000, 3000), 6000u);  // clusters need not be powers of two
    EXPECT_TRUE(HasRoom(1024, 1024, 3));    // 2 KB needed, 3 KB free
    EXPECT_FALSE(HasRoom(1024, 1024, 2));   // not strictly below
    EXPECT_FALSE(HasRoom(6ull << 30, 0, 5ull << 20));  // 6 GB file, 5 GB free
    EXPECT_TRUE(HasRoom(~0ull >> 1, 0, kUnknownFreeSpace));
}
