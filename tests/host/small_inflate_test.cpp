// The small decoder against the full one: on real streams of every kind and
// on every truncation and single-bit change of small ones, both accept or
// both reject, and accepted streams give the same bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "builder/archive/stream_encoder.h"
#include "decoder/inflate.h"
#include "decoder/small_inflate.h"
#include "tests/host/test_corpus.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Both decoders with `room` bytes of output: "" when they agree, else how not.
std::string Disagreement(const Bytes& stream, size_t room) {
    Bytes full(room + 1), small(room + 1);
    size_t full_produced = 0, small_produced = 0;
    bool full_ok = InflateBuffer(stream.data(), stream.size(), full.data(), room, &full_produced) == kInflateOk;
    bool small_ok = SmallInflate(stream.data(), stream.size(), small.data(), room, &small_produced);
    if (full_ok != small_ok) return full_ok ? "only the full decoder accepts" : "only the small decoder accepts";
    if (full_ok && (full_produced != small_produced || std::memcmp(full.data(), small.data(), full_produced) != 0))
        return "different output";
    return "";
}

TEST(SmallInflate, DecodesWhatTheEncoderMakes) {
    for (const Bytes& input : SyntheticCorpus())
        for (int level : {1, 6, kDefaultLevel, kMaxLevel}) {
            if (level == kMaxLevel && input.size() > 40000) continue;  // the exhaustive level is slow
            SCOPED_TRACE("size " + std::to_string(input.size()) + ", level " + std::to_string(level));
            Bytes stream = EncodeStream(input.data(), input.size(), level);
            Bytes out(input.size() + 1);
            size_t produced = 0;
            ASSERT_TRUE(SmallInflate(stream.data(), stream.size(), out.data(), input.size(), &produced));
            ASSERT_EQ(produced, input.size());
            EXPECT_EQ(std::memcmp(out.data(), input.data(), input.size()), 0);
            if (!input.empty()) EXPECT_EQ(Disagreement(stream, input.size() - 1), "");  // one byte short
        }
}

TEST(SmallInflate, AgreesWithInflateOnDamagedStreams) {
    // Stored, fixed and dynamic blocks: a run, text, and incompressible bytes.
    std::string text = "the quick brown fox jumps over the lazy dog; the lazy dog sleeps. ";
    Bytes mixed(text.begin(), text.end());
    mixed.insert(mixed.end(), 300, 'a');
    for (uint32_t x = 1, i = 0; i < 200; ++i) mixed.push_back(uint8_t((x = x * 1103515245 + 12345) >> 16));
    for (size_t size : {size_t(1), size_t(70), mixed.size()})
        for (int level : {1, kMaxLevel}) {
            Bytes stream = EncodeStream(mixed.data(), size, level);
            SCOPED_TRACE("size " + std::to_string(size) + ", level " + std::to_string(level));
            for (size_t cut = 0; cut < stream.size(); ++cut)
                ASSERT_EQ(Disagreement(Bytes(stream.begin(), stream.begin() + cut), size), "") << "cut at " << cut;
            for (size_t bit = 0; bit < stream.size() * 8; ++bit) {
                Bytes damaged = stream;
                damaged[bit / 8] ^= uint8_t(1 << bit % 8);
                ASSERT_EQ(Disagreement(damaged, size + 64), "") << "bit " << bit;
            }
        }
}

}  // namespace
