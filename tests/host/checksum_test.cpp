// The file checksum taken over pieces of any size, as a solid block's files
// arrive, equals the checksum of the whole file in one pass.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "engine/checksum.h"

TEST(Checksum, PiecesOfAnySizeSumAsTheWhole) {
    std::mt19937 random(5);
    for (size_t size : {0u, 1u, 3u, 4u, 5u, 7u, 4096u, 100003u}) {
        std::vector<uint8_t> data(size);
        for (uint8_t& b : data) b = uint8_t(random());
        uint32_t whole = ChecksumUpdate(0, data.data(), data.size());
        for (size_t largest : {1u, 2u, 3u, 5u, 4099u}) {
            ChecksumRun run{};
            for (size_t at = 0; at < size;) {
                size_t n = std::min<size_t>(size - at, 1 + random() % largest);
                ChecksumAdd(&run, data.data() + at, n);
                at += n;
            }
            EXPECT_EQ(ChecksumEnd(run), whole) << "size " << size << ", pieces up to " << largest;
        }
    }
}
