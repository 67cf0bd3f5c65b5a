// Allocation with one retry after compacting the heap.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "engine/memory.h"

namespace {

class Memory : public ::testing::Test {
protected:
    void TearDown() override { FailAllocationsAfter(-1, 0); }
};

TEST_F(Memory, ZeroedBlockIsZeroAndFreeClearsThePointer) {
    void* block = nullptr;
    ASSERT_TRUE(AllocZeroedRetry(&block, 4096));
    ASSERT_NE(block, nullptr);
    const uint8_t* bytes = static_cast<const uint8_t*>(block);
    for (size_t i = 0; i < 4096; ++i) ASSERT_EQ(bytes[i], 0) << i;
    FreeAndClear(&block);
    EXPECT_EQ(block, nullptr);
    FreeAndClear(&block);  // freeing nothing is allowed
    EXPECT_EQ(block, nullptr);
}

TEST_F(Memory, OneFailureIsRetriedTwoAreReported) {
    for (bool zeroed : {false, true}) {
        auto alloc = [zeroed](void** block) { return zeroed ? AllocZeroedRetry(block, 64) : AllocRetry(block, 64); };
        void* block = nullptr;
        FailAllocationsAfter(0, 1);
        EXPECT_TRUE(alloc(&block)) << zeroed;
        EXPECT_NE(block, nullptr);
        FreeAndClear(&block);

        block = &block;  // a stale value must not survive a failure
        FailAllocationsAfter(0, 2);
        EXPECT_FALSE(alloc(&block)) << zeroed;
        EXPECT_EQ(block, nullptr);

        // The failures are used up: the next allocation works again.
        EXPECT_TRUE(alloc(&block)) << zeroed;
        FreeAndClear(&block);
    }
}

TEST_F(Memory, FailuresStartAfterTheGivenSuccesses) {
    void* first = nullptr;
    void* second = nullptr;
    FailAllocationsAfter(1, 2);
    EXPECT_TRUE(AllocRetry(&first, 16));
    EXPECT_FALSE(AllocRetry(&second, 16));
    FreeAndClear(&first);
}

}  // namespace
