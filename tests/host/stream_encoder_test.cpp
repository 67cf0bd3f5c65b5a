// The encoder against the decoder: every sample must come back byte for
// byte. The transcoder on hand-made Deflate streams: exact output for stored
// blocks, odd but valid codes carried over, and malformed streams refused.
#include <gtest/gtest.h>
#include <libdeflate.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "builder/archive/deflate_transcoder.h"
#include "builder/archive/stream_encoder.h"
#include "decoder/inflate.h"
#include "tests/common/stream_writer.h"
#include "tests/host/test_corpus.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Decodes into a buffer of exactly the expected size, so that extra output
// fails as "output full" instead of going unnoticed.
void ExpectDecodesTo(const Bytes& stream, const Bytes& expected) {
    Bytes out(expected.size());
    size_t produced = 0, consumed = 0;
    ASSERT_EQ(InflateBuffer(stream.data(), stream.size(), out.data(), out.size(), &produced, &consumed), kInflateOk);
    EXPECT_EQ(produced, expected.size());
    EXPECT_TRUE(out == expected);
    EXPECT_EQ(consumed, stream.size()) << "trailing bytes after the final block";
}

void ExpectRoundTrip(const Bytes& data, int level) {
    SCOPED_TRACE("level " + std::to_string(level) + ", " + std::to_string(data.size()) + " bytes");
    ExpectDecodesTo(EncodeStream(data.data(), data.size(), level), data);
}

TEST(StreamEncoder, SyntheticRoundTrips) {
    for (const Bytes& sample : SyntheticCorpus()) {
        for (int level : {kMinLevel, 6, kDefaultLevel, kMaxLevel - 1}) ExpectRoundTrip(sample, level);
        // The exhaustive level takes about half a second per 100 KB.
        if (sample.size() <= 40000) ExpectRoundTrip(sample, kMaxLevel);
    }
}

TEST(StreamEncoder, WindowsDllRoundTrips) {
    std::vector<std::string> files = PeCorpusFiles(4);
    if (files.empty()) GTEST_SKIP() << "no 32-bit Windows DLLs on this system";
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        Bytes data = ReadFileBytes(path);
        for (int level : {kMinLevel, kDefaultLevel}) ExpectRoundTrip(data, level);
        if (data.size() <= 200000) ExpectRoundTrip(data, kMaxLevel);
    }
}

TEST(StreamEncoder, RefusesLevelsOutOfRange) {
    uint8_t byte = 0;
    for (int level : {kMinLevel - 1, kMaxLevel + 1}) EXPECT_THROW(EncodeStream(&byte, 1, level), std::invalid_argument);
}

TEST(TranscodeDeflate, StoredBlocksExactly) {
    struct Case {
        const char* name;
        Bytes deflate, ours;
        const char* decoded;
    } cases[] = {
        {"stored abc, then an empty final stored block",
         {0x00, 0x03, 0x00, 0xFC, 0xFF, 'a', 'b', 'c', 0x01, 0x00, 0x00, 0xFF, 0xFF},
         {0x07, 0x03, 0x00, 'a', 'b', 'c', 0x0F, 0x00, 0x00},
         "abc"},
        // The stored header starts mid-byte, after a fixed block with 'a'.
        {"fixed a, then a final stored z",
         {0x4A, 0x04, 0x04, 0x01, 0x00, 0xFE, 0xFF, 'z'},
         {0x95, 0x08, 0x78, 0x01, 0x00, 'z'},
         "az"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes out;
        ASSERT_TRUE(TranscodeDeflate(c.deflate.data(), c.deflate.size(), out));
        EXPECT_EQ(out, c.ours);
        ExpectDecodesTo(out, Bytes(c.decoded, c.decoded + std::char_traits<char>::length(c.decoded)));
    }
}

// RFC 1951 streams by hand. Fields go least significant bit first, as in
// our format, so StreamWriter serves; only the headers differ.
void PutRfcHeader(StreamWriter& w, bool final, uint32_t type) {
    w.Put(final, 1);
    w.Put(type, 2);
}

void PutClSymbols(StreamWriter& w, const std::vector<ClSymbol>& symbols, const std::vector<uint8_t>& cl_lengths) {
    static const int extra_bits[3] = {2, 3, 7};
    std::vector<uint32_t> codes = CanonicalCodes(cl_lengths);
    for (const ClSymbol& c : symbols) {
        w.PutCode(codes[c.symbol], cl_lengths[c.symbol]);
        if (c.symbol >= 16) w.Put(c.extra, extra_bits[c.symbol - 16]);
    }
}

// Literal/length symbols with the given code lengths; each 257 (a 3-byte
// match) is followed by distance code 0.
void PutBlockData(StreamWriter& w, const std::vector<uint8_t>& literals, const std::vector<uint8_t>& distances,
                  const std::vector<uint32_t>& data) {
    std::vector<uint32_t> lit_codes = CanonicalCodes(literals), dist_codes = CanonicalCodes(distances);
    for (uint32_t s : data) {
        w.PutCode(lit_codes[s], literals[s]);
        if (s == 257) w.PutCode(dist_codes[0], distances[0]);
    }
}

// Literal/length lengths for symbols 0 to count - 1: the given lengths for
// 'a', 256 (end of block) and 257, 0 for the others.
std::vector<uint8_t> Literals(uint8_t a, uint8_t end, uint8_t match, size_t count = 258) {
    std::vector<uint8_t> l(count, 0);
    l['a'] = a;
    l[256] = end;
    l[257] = match;
    return l;
}

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A final dynamic block sending all 19 code-length lengths. The lengths go
// plainly unless `symbols` gives the code-length symbols that send them.
Bytes DynamicStream(const std::vector<uint8_t>& literals, const std::vector<uint8_t>& distances,
                    const std::vector<uint32_t>& data, std::vector<ClSymbol> symbols = {},
                    const std::vector<uint8_t>& cl_lengths = FullCodeLengthLengths()) {
    static const uint8_t order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    if (symbols.empty()) symbols = PlainLengths(Concat(literals, distances));
    StreamWriter w;
    PutRfcHeader(w, true, 2);
    w.Put(uint32_t(literals.size()) - 257, 5);
    w.Put(uint32_t(distances.size()) - 1, 5);
    w.Put(15, 4);
    for (uint8_t s : order) w.Put(cl_lengths[s], 3);
    PutClSymbols(w, symbols, cl_lengths);
    PutBlockData(w, literals, distances, data);
    return w.Finish();
}

// Code-length symbols 0, 1 and 2 only: RFC order sends 18 lengths, ours 6.
TEST(TranscodeDeflate, DynamicHeaderExactly) {
    std::vector<uint8_t> literals = Literals(1, 2, 2), distances = {1};
    std::vector<uint8_t> cl_lengths(19, 0);
    cl_lengths[0] = 1;
    cl_lengths[1] = cl_lengths[2] = 2;
    std::vector<uint32_t> data = {'a', 257, 'a', 256};
    Bytes deflate = DynamicStream(literals, distances, data, {}, cl_lengths);

    StreamWriter w;
    w.Put(6 | 8, 4);
    w.Put(258 - 257, 5);
    w.Put(1 - 1, 5);
    w.Put(6 - 4, 4);
    for (uint32_t l : {0, 0, 0, 1, 2, 2}) w.Put(l, 3);  // symbols 18, 17, 16, 0, 1, 2
    PutClSymbols(w, PlainLengths(Concat(literals, distances)), cl_lengths);
    PutBlockData(w, literals, distances, data);

    Bytes out;
    ASSERT_TRUE(TranscodeDeflate(deflate.data(), deflate.size(), out));
    EXPECT_EQ(out, w.Finish());
    ExpectDecodesTo(out, {'a', 'a', 'a', 'a', 'a'});
}

TEST(TranscodeDeflate, KeepsCodesTheDecoderAccepts) {
    struct Case {
        const char* name;
        Bytes deflate;
        const char* decoded;
    } cases[] = {
        {"one distance code of one bit", DynamicStream(Literals(1, 2, 2), {1}, {'a', 257, 256}), "aaaa"},
        {"no distance codes", DynamicStream(Literals(1, 1, 0), {0}, {'a', 'a', 256}), "aa"},
        {"several distance lengths", DynamicStream(Literals(1, 2, 2), {2, 2, 1}, {'a', 257, 257, 256}), "aaaaaaa"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes out;
        ASSERT_TRUE(TranscodeDeflate(c.deflate.data(), c.deflate.size(), out));
        ExpectDecodesTo(out, Bytes(c.decoded, c.decoded + std::char_traits<char>::length(c.decoded)));
    }
}

// A final fixed block of the given symbols. Matches take distance code 0,
// except the last, which takes `last_distance_code`.
Bytes FixedStream(const std::vector<uint32_t>& symbols, uint32_t last_distance_code) {
    size_t last_match = 0;
    for (size_t i = 0; i < symbols.size(); ++i)
        if (symbols[i] > 256) last_match = i;
    StreamWriter w;
    PutRfcHeader(w, true, 1);
    for (size_t i = 0; i < symbols.size(); ++i) {
        PutFixedLiteral(w, symbols[i]);
        if (symbols[i] > 256) w.PutCode(i == last_match ? last_distance_code : 0, 5);
    }
    PutFixedLiteral(w, 256);
    return w.Finish();
}

// Each stream is well formed but for the one fault its name gives, so a
// missing check lets it through.
TEST(TranscodeDeflate, RefusesMalformedStreams) {
    std::vector<uint8_t> no_18 = FullCodeLengthLengths();
    no_18[18] = 0;
    std::vector<uint8_t> two_ends = Literals(1, 1, 0);  // 'a' and end of block
    std::vector<ClSymbol> leading_repeat = PlainLengths(Concat(std::vector<uint8_t>(two_ends.begin() + 3, two_ends.end()), {0}));
    leading_repeat.insert(leading_repeat.begin(), {16, 0});
    std::vector<ClSymbol> overlong_run = PlainLengths(std::vector<uint8_t>(two_ends.begin(), two_ends.end() - 1));
    overlong_run.push_back({17, 0});  // 3 zeros where 2 are left
    std::vector<uint8_t> far_distances(31, 0);
    far_distances[0] = far_distances[30] = 1;
    std::vector<uint32_t> far_enough(100, 285);  // 'a', then 25800 more, then a match
    far_enough.front() = 'a';
    far_enough.push_back(257);
    struct Case {
        const char* name;
        Bytes deflate;
    } cases[] = {
        {"empty input", {}},
        {"block type 3", {0x07}},
        {"no final block", {0x00, 0x00, 0x00, 0xFF, 0xFF}},
        {"stored NLEN mismatch", {0x01, 0x03, 0x00, 0x00, 0x00, 'a', 'b', 'c'}},
        {"stored data cut short", {0x01, 0x03, 0x00, 0xFC, 0xFF, 'a', 'b'}},
        {"fixed: match before the first byte", FixedStream({257}, 0)},
        {"fixed: distance code 30", FixedStream(far_enough, 30)},
        {"fixed: symbol 286", FixedStream({'a', 286}, 0)},
        {"dynamic: 287 literal/length codes", DynamicStream(Literals(1, 1, 0, 287), {0}, {'a', 256})},
        {"dynamic: 31 distance codes", DynamicStream(Literals(1, 2, 2), far_distances, {'a', 257, 256})},
        {"dynamic: leading repeat", DynamicStream(two_ends, {0}, {'a', 256}, leading_repeat)},
        {"dynamic: repeat past the end", DynamicStream(two_ends, {0}, {'a', 256}, overlong_run)},
        {"dynamic: incomplete code-length code", DynamicStream(two_ends, {0}, {'a', 256}, {}, no_18)},
        {"dynamic: over-subscribed literals", DynamicStream(Literals(1, 1, 1), {1}, {256})},
        {"dynamic: incomplete literals", DynamicStream(Literals(2, 2, 2), {1}, {'a', 256})},
        {"dynamic: incomplete distances", DynamicStream(Literals(1, 2, 2), {2, 2, 2}, {'a', 257, 256})},
        {"dynamic: match without distance codes", DynamicStream(Literals(1, 2, 2), {0}, {'a', 257, 256})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes out;
        EXPECT_FALSE(TranscodeDeflate(c.deflate.data(), c.deflate.size(), out));
    }
}

// Every proper prefix of a real stream lacks some of its bits.
TEST(TranscodeDeflate, RefusesTruncatedStreams) {
    Bytes data;
    for (uint32_t i = 0; data.size() < 20000; ++i) {
        std::string line = "copied file " + std::to_string(i * i % 977) + " to the target folder\r\n";
        data.insert(data.end(), line.begin(), line.end());
    }
    for (uint32_t i = 0, x = 1; i < 3000; ++i) data.push_back(uint8_t((x = x * 1103515245u + 12345u) >> 24));
    libdeflate_compressor* c = libdeflate_alloc_compressor(6);
    Bytes deflate(libdeflate_deflate_compress_bound(c, data.size()));
    deflate.resize(libdeflate_deflate_compress(c, data.data(), data.size(), deflate.data(), deflate.size()));
    libdeflate_free_compressor(c);
    Bytes out;
    ASSERT_TRUE(TranscodeDeflate(deflate.data(), deflate.size(), out));
    for (size_t size = 0; size < deflate.size(); ++size)
        ASSERT_FALSE(TranscodeDeflate(deflate.data(), size, out)) << size << " of " << deflate.size();
}

}  // namespace
