// The delta commands: each op form, the displacement encodings, the base
// position carried from copy to copy, and the faults a damaged delta must
// end with instead of reading or writing outside its buffers.
#include "engine/delta_format.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine/delta_in_memory.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A base whose every byte tells where it came from (position modulo 251).
Bytes NumberedBase(size_t size) {
    Bytes base(size);
    for (size_t i = 0; i < size; ++i) base[i] = uint8_t(i % 251);
    return base;
}

Bytes Slice(const Bytes& base, size_t from, size_t count) { return Bytes(base.begin() + from, base.begin() + from + count); }

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST(DeltaFormat, DisplacementEncodings) {
    struct Case {
        Bytes bytes;
        int length;
        int32_t displacement;
    } cases[] = {
        // One byte.
        {{0xA5}, 1, -27},
        {{0x80}, 1, 0},
        {{0x9F}, 1, 31},
        {{0xA0}, 1, -32},
        {{0xBF}, 1, -1},
        // Two bytes.
        {{0x40, 0x00}, 2, -16416},
        {{0x00, 0x00}, 2, 32},
        {{0x3F, 0xFF}, 2, 16415},
        {{0x7F, 0xFF}, 2, -33},
        // Three bytes.
        {{0xC0, 0x00, 0x00}, 3, 16416},
        {{0xDF, 0xFF, 0xFF}, 3, 2113567},
        {{0xE0, 0x00, 0x00}, 3, -2113568},
        {{0xFF, 0xFF, 0xFF}, 3, -16417},
    };
    for (const Case& c : cases) {
        int32_t s = 12345;
        EXPECT_EQ(ReadDisplacement(c.bytes.data(), c.bytes.size(), &s), c.length) << int(c.bytes[0]);
        EXPECT_EQ(s, c.displacement) << int(c.bytes[0]);
        // One byte short of its form: nothing is read.
        EXPECT_EQ(ReadDisplacement(c.bytes.data(), c.bytes.size() - 1, &s), 0) << int(c.bytes[0]);
    }
}

TEST(DeltaFormat, OpFormsAndTheBasePosition) {
    const Bytes base = NumberedBase(40000);
    const Bytes lit = {'x', 'y', 'z', 'w', 'v'};
    struct Case {
        const char* label;
        Bytes commands;
        Bytes literals;
        Bytes expected;
    } cases[] = {
        {"empty command item", {}, {}, {}},
        {"empty command item, literals unused", {}, lit, {}},
        // 0xA3: one literal byte, then a copy of 5; offset 0x80 is S = 0.
        {"0xA3 writes 1 literal and copies 5", {0xA3, 0x80}, lit, Join({{'x'}, Slice(base, 0, 5)})},
        // N = 0: (H & 0x1F) + 1 literals, no copy and no offset byte.
        {"literal run of 5", {0x84}, lit, lit},
        {"literal runs take the literals in order", {0x81, 0x82}, lit, lit},
        // 1..0x7F: copy H + 1. S = 10 from P = 0, then S = -27 from P = 10 + 40 = 50.
        {"copies carry the base position", {0x27, 0x8A, 0x03, 0xA5}, {}, Join({Slice(base, 10, 40), Slice(base, 23, 4)})},
        // H = 0: K + 129 bytes; K = 0x0102.
        {"long copy", {0x00, 0x02, 0x01, 0x80}, {}, Slice(base, 0, 0x102 + 129)},
        // Two-byte S = 32 + 0x0100; three-byte S = +16,416.
        {"two-byte displacement", {0x01, 0x01, 0x00}, {}, Slice(base, 288, 2)},
        {"three-byte displacement", {0x01, 0xC0, 0x00, 0x00}, {}, Slice(base, 16416, 2)},
        // P = 16,418 after the first copy; the two-byte -16,416 takes it back to 2.
        {"back by -16,416", {0x01, 0xC0, 0x00, 0x00, 0x01, 0x40, 0x00}, {},
         Join({Slice(base, 16416, 2), Slice(base, 2, 2)})},
        // Literal bytes 'x' 'y' 'z' then a copy of (H & 0x1F) + 2 = 33 from S = 31.
        {"three literals, longest short copy", {0xFF, 0x9F}, lit, Join({{'x', 'y', 'z'}, Slice(base, 31, 33)})},
        // S = 16,416 + 0x5C1E = 39,998: the copy ends at the base's last byte.
        {"copy up to the base's last byte", {0x01, 0xC0, 0x5C, 0x1E}, {}, Slice(base, 39998, 2)},
    };
    for (const Case& c : cases) {
        DeltaStatus fault = kDeltaOp;
        auto out = ApplyDeltaInMemory(base, c.commands, c.literals, UINT32_MAX, &fault);
        ASSERT_TRUE(out.has_value()) << c.label << ": fault " << fault;
        EXPECT_EQ(*out, c.expected) << c.label;
        EXPECT_EQ(fault, kDeltaEnd) << c.label;
    }
}

TEST(DeltaFormat, LongestCopyFitsTheCopyBufferExactly) {
    const Bytes base = NumberedBase(kDeltaCopyBufferSize + 10);
    // K = 65,407: 65,536 bytes, the whole copy buffer.
    auto out = ApplyDeltaInMemory(base, {0x00, 0x7F, 0xFF, 0x85}, {});
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(*out, Slice(base, 5, kDeltaCopyBufferSize));
    // K = 65,408 and above would overrun it.
    for (Bytes commands : {Bytes{0x00, 0x80, 0xFF, 0x80}, Bytes{0x00, 0xFF, 0xFF, 0x80}}) {
        DeltaStatus fault;
        EXPECT_FALSE(ApplyDeltaInMemory(base, commands, {}, UINT32_MAX, &fault).has_value());
        EXPECT_EQ(fault, kDeltaCopyTooLong);
    }
}

TEST(DeltaFormat, FaultsEndTheWalk) {
    const Bytes base = NumberedBase(1000);
    const Bytes lit = {'a', 'b', 'c'};
    struct Case {
        const char* label;
        Bytes commands;
        Bytes literals;
        DeltaStatus fault;
        uint64_t limit = UINT32_MAX;
    } cases[] = {
        {"literal run with an empty literal item", {0x80}, {}, kDeltaLiteralsShort},
        {"literal run past the literal item", {0x83}, lit, kDeltaLiteralsShort},
        {"literal run past what earlier runs left", {0x81, 0x81}, lit, kDeltaLiteralsShort},
        {"copy before the base's start", {0x01, 0xBF}, {}, kDeltaBaseOutside},
        {"copy starting at the base's end", {0x01, 0x03, 0xC8}, {}, kDeltaBaseOutside},  // S = 32 + 968
        {"copy ending one past the base", {0x01, 0x03, 0xC7}, {}, kDeltaBaseOutside},    // 999 + 2
        {"copy far past the base's end", {0x01, 0xC0, 0x00, 0x00}, {}, kDeltaBaseOutside},
        {"copy back past the start after a copy", {0x03, 0x8A, 0x01, 0x7F, 0xFF}, {}, kDeltaBaseOutside},
        {"long copy without its length", {0x00, 0x01}, {}, kDeltaCommandsCut},
        {"copy without its displacement", {0x05}, {}, kDeltaCommandsCut},
        {"two-byte displacement cut", {0x05, 0x01}, {}, kDeltaCommandsCut},
        {"three-byte displacement cut", {0x05, 0xC0, 0x00}, {}, kDeltaCommandsCut},
        {"output beyond its size", {0x82, 0x01, 0x80}, lit, kDeltaOutputTooLong, 4},
    };
    for (const Case& c : cases) {
        DeltaStatus fault = kDeltaOp;
        auto out = ApplyDeltaInMemory(base, c.commands, c.literals, c.limit, &fault);
        EXPECT_FALSE(out.has_value()) << c.label;
        EXPECT_EQ(fault, c.fault) << c.label;
    }
    // The limits are exact: a copy ending at the base's end and an output of
    // just the allowed size pass.
    EXPECT_EQ(ApplyDeltaInMemory(base, {0x01, 0x03, 0xC6}, {}), Slice(base, 998, 2));
    EXPECT_TRUE(ApplyDeltaInMemory(base, {0x82, 0x01, 0x80}, lit, 5).has_value());
}

}  // namespace
