// The decoder against hand-made streams: worked examples, every result, the
// write pattern, and how much input a decode takes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decoder/decoder_memory.h"
#include "decoder/inflate.h"
#include "tests/common/stream_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Keeps every write, so tests see the pieces as well as the bytes.
class RecordingOutput : public DecoderOutput {
public:
    bool IsValid() const override { return true; }
    bool Write(const uint8_t* data, uint16_t count) override {
        writes.push_back(count);
        bytes.insert(bytes.end(), data, data + count);
        return true;
    }
    std::vector<uint32_t> writes;
    Bytes bytes;
};

// Feeds the stream in chunks of a given size, like a buffered file.
struct ChunkedInput : InflateInput {
    const Bytes* data;
    size_t chunk;
    size_t offset = 0;

    ChunkedInput(const Bytes& d, size_t c) : data(&d), chunk(c) {
        refill = [](InflateInput* in) {
            auto* self = static_cast<ChunkedInput*>(in);
            size_t n = std::min(self->chunk, self->data->size() - self->offset);
            self->next = self->data->data() + self->offset;
            self->end = self->next + n;
            self->offset += n;
            return true;
        };
    }
    // Bytes taken by the decode: what was handed over less what is left.
    size_t Consumed() const { return offset - size_t(end - next); }
};

struct Decoded {
    int result;
    RecordingOutput out;
    size_t consumed;
};

// Decodes through a sink, and again straight into memory, where the
// decode must come out the same: result, bytes and the input it takes.
Decoded Decode(const Bytes& stream, size_t chunk = 4096) {
    Decoded d;
    ChunkedInput in(stream, chunk);
    d.result = Inflate(in, d.out);
    d.consumed = in.Consumed();

    ChunkedInput again(stream, chunk);
    Bytes memory(d.out.bytes.size() + (d.result == kInflateOk ? 0 : 1 << 17));
    size_t produced = 0;
    EXPECT_EQ(InflateInto(again, memory.data(), memory.size(), &produced), d.result) << "straight into memory";
    if (d.result == kInflateOk) {
        EXPECT_EQ(produced, d.out.bytes.size());
        EXPECT_TRUE(memory == d.out.bytes) << "straight into memory";
        EXPECT_EQ(again.Consumed(), d.consumed) << "straight into memory";
    }
    return d;
}

Bytes Text(const char* s) { return Bytes(s, s + std::char_traits<char>::length(s)); }

TEST(Inflate, WorkedStreams) {
    struct Case {
        const char* name;
        Bytes stream;
        Bytes output;
        size_t consumed;  // trailing bytes after the stream stay untaken
    } cases[] = {
        {"stored abc", {0x0F, 0x03, 0x00, 0x61, 0x62, 0x63, 0xEE}, Text("abc"), 6},
        {"empty fixed", {0x0D, 0x00, 0xEE}, {}, 2},
        {"fixed ab", {0x9D, 0x98, 0x04, 0x00, 0xEE}, Text("ab"), 4},
        {"stored LEN 0 then stored", {0x07, 0x00, 0x00, 0x0F, 0x01, 0x00, 0x7A, 0xEE}, Text("z"), 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (size_t chunk : {size_t(1), size_t(3), size_t(4096)}) {
            Decoded d = Decode(c.stream, chunk);
            EXPECT_EQ(d.result, kInflateOk);
            EXPECT_EQ(d.out.bytes, c.output);
            EXPECT_EQ(d.consumed, c.consumed);
            ASSERT_FALSE(d.out.writes.empty());
            EXPECT_EQ(d.out.writes.back(), c.output.size()) << "one final write, even of 0 bytes";
        }
    }
}

TEST(Inflate, UnknownBlockTypesWriteNothing) {
    for (uint8_t header : {0x00, 0x01, 0x02, 0x03, 0x04, 0x08, 0x0B, 0x0C}) {
        Decoded d = Decode({header, 0, 0, 0});
        EXPECT_EQ(d.result, kInflateBadCode) << int(header);
        EXPECT_TRUE(d.out.writes.empty());
    }
    // Dynamic block, not the last: the stream must go on with another block.
    StreamWriter w;
    PutDynamicHeader(w, false, 257, 1, PlainLengths(std::vector<uint8_t>(258, 0)));
    Decoded d = Decode(w.Finish());
    EXPECT_NE(d.result, kInflateOk);
}

Bytes StoredStream(size_t size) {
    StreamWriter w;
    Bytes data(size);
    for (size_t i = 0; i < size; ++i) data[i] = uint8_t(i * 7 + i / 251);
    for (size_t at = 0; at < size || at == 0;) {
        size_t n = std::min<size_t>(size - at, 65535);
        bool final = at + n == size;
        w.Put(7 | (final ? 8 : 0), 4);
        w.AlignToByte();
        w.Put(uint32_t(n), 16);
        for (size_t i = 0; i < n; ++i) w.Put(data[at + i], 8);
        at += n;
        if (final) break;
    }
    return w.Finish();
}

TEST(Inflate, OutputLeavesInWholeWindows) {
    struct Case {
        size_t size;
        std::vector<uint32_t> writes;
    } cases[] = {
        {0, {0}},
        {32767, {32767}},
        {32768, {32768, 0}},
        {32769, {32768, 1}},
        {100000, {32768, 32768, 32768, 1696}},
    };
    for (const Case& c : cases) {
        Bytes stream = StoredStream(c.size);
        Decoded d = Decode(stream, 4096);
        EXPECT_EQ(d.result, kInflateOk);
        EXPECT_EQ(d.out.writes, c.writes) << c.size;
        EXPECT_EQ(d.consumed, stream.size());
        for (size_t i = 0; i < c.size; ++i)
            if (d.out.bytes[i] != uint8_t(i * 7 + i / 251)) FAIL() << "byte " << i;
    }
}

TEST(Inflate, FixedBlockMatches) {
    // 'x', then length 258 at distance 1: 259 bytes of 'x'.
    StreamWriter w;
    w.Put(5 | 8, 4);
    PutFixedLiteral(w, 'x');
    PutFixedLiteral(w, 285);
    w.PutCode(0, 5);
    PutFixedLiteral(w, 256);
    Decoded d = Decode(w.Finish());
    EXPECT_EQ(d.result, kInflateOk);
    EXPECT_EQ(d.out.bytes, Bytes(259, 'x'));

    // A distance that reaches before the first byte copies the window's zeros.
    StreamWriter z;
    z.Put(5 | 8, 4);
    PutFixedLiteral(z, 'q');
    PutFixedLiteral(z, 258);  // length 4
    z.PutCode(4, 5);          // distance 5..6, one extra bit
    z.Put(1, 1);              // distance 6
    PutFixedLiteral(z, 256);
    d = Decode(z.Finish());
    EXPECT_EQ(d.result, kInflateOk);
    EXPECT_EQ(d.out.bytes, Bytes({'q', 0, 0, 0, 0}));
}

TEST(Inflate, FixedBlockInvalidSymbols) {
    for (uint32_t symbol : {286u, 287u}) {
        StreamWriter w;
        w.Put(5 | 8, 4);
        PutFixedLiteral(w, 'a');
        PutFixedLiteral(w, symbol);
        w.Put(0, 16);
        Decoded d = Decode(w.Finish());
        EXPECT_EQ(d.result, kInflateBadData) << symbol;
        EXPECT_TRUE(d.out.writes.empty());
    }
    for (uint32_t distance_code : {30u, 31u}) {
        StreamWriter w;
        w.Put(5 | 8, 4);
        PutFixedLiteral(w, 'a');
        PutFixedLiteral(w, 257);
        w.PutCode(distance_code, 5);
        PutFixedLiteral(w, 256);
        EXPECT_EQ(Decode(w.Finish()).result, kInflateBadData) << distance_code;
    }
}

// A dynamic block from literal/length and distance lengths and the symbols
// to code with them: literals and end of block as given, {length symbol,
// extra, distance symbol, extra} for matches.
struct Symbol {
    uint32_t lit;
    uint32_t lit_extra = 0, lit_extra_bits = 0;
    uint32_t dist = 0, dist_extra = 0, dist_extra_bits = 0;
};
Bytes DynamicStream(const std::vector<uint8_t>& lit, const std::vector<uint8_t>& dist,
                    const std::vector<Symbol>& symbols, std::vector<ClSymbol> header = {}) {
    StreamWriter w;
    if (header.empty()) {
        Bytes all(lit);
        all.insert(all.end(), dist.begin(), dist.end());
        header = PlainLengths(all);
    }
    PutDynamicHeader(w, true, uint32_t(lit.size()), uint32_t(dist.size()), header);
    std::vector<uint32_t> lc = CanonicalCodes(lit), dc = CanonicalCodes(dist);
    for (const Symbol& s : symbols) {
        w.PutCode(lc[s.lit], lit[s.lit]);
        if (s.lit > 256) {
            w.Put(s.lit_extra, int(s.lit_extra_bits));
            w.PutCode(dc[s.dist], dist[s.dist]);
            w.Put(s.dist_extra, int(s.dist_extra_bits));
        }
    }
    w.Put(0, 32);  // trailing bytes a broken decode might read
    return w.Finish();
}

std::vector<uint8_t> LiteralLengths(std::initializer_list<std::pair<uint32_t, uint8_t>> set, size_t count = 258) {
    std::vector<uint8_t> l(count, 0);
    for (auto [symbol, len] : set) l[symbol] = len;
    return l;
}

TEST(Inflate, DynamicBlocks) {
    auto lit = LiteralLengths({{'a', 2}, {'b', 2}, {256, 2}, {257, 2}});
    struct Case {
        const char* name;
        std::vector<uint8_t> lit, dist;
        std::vector<Symbol> symbols;
        int result;
        Bytes output;
    } cases[] = {
        {"single distance code of 1 bit", lit, {1}, {{'a'}, {'b'}, {257, 0, 0, 0}, {256}}, kInflateOk, Text("abbbb")},
        {"distance code with unused space", lit, {2, 2}, {{'a'}, {256}}, kInflateBadData, {}},
        {"distances all zero, literals only", lit, {0}, {{'a'}, {'b'}, {256}}, kInflateOk, Text("ab")},
        {"distances all zero, then a length", lit, {0}, {{'a'}, {257}, {256}}, kInflateBadData, {}},
        {"incomplete literal code", LiteralLengths({{'a', 2}, {'b', 2}, {256, 2}}), {1}, {{'a'}, {256}},
         kInflateBadData, {}},
        {"over-subscribed literal code", LiteralLengths({{'a', 1}, {'b', 1}, {256, 1}}), {1}, {}, kInflateBadCode,
         {}},
        {"over-subscribed distance code", lit, {1, 1, 1}, {}, kInflateBadCode, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Decoded d = Decode(DynamicStream(c.lit, c.dist, c.symbols));
        EXPECT_EQ(d.result, c.result);
        EXPECT_EQ(d.out.bytes, c.output);
    }
}

TEST(Inflate, DynamicHeaderLengthRuns) {
    auto lit = LiteralLengths({{'a', 1}, {256, 1}}, 257);
    // 'a' is literal 97: 97 zeros, then 1, then 158 zeros, then 1 (end of
    // block), then one distance length of 0.
    std::vector<ClSymbol> ok = {{18, 97 - 11}, {1, 0}, {18, 138 - 11}, {18, 20 - 11}, {1, 0}, {0, 0}};
    // A leading 16 repeats length 0: three zeros, then 94 more.
    std::vector<ClSymbol> leading16 = {{16, 0}, {18, 94 - 11}, {1, 0}, {18, 138 - 11}, {18, 20 - 11}, {1, 0}, {0, 0}};
    // 16 after a 1 repeats 1: here too many ones, an over-subscribed code.
    std::vector<ClSymbol> repeat_one = {{18, 97 - 11}, {1, 0}, {16, 0}, {18, 138 - 11}, {18, 17 - 11}, {1, 0}, {0, 0}};
    // Repeats that run past the declared 258 lengths.
    std::vector<ClSymbol> overrun16 = {{18, 97 - 11}, {1, 0}, {18, 138 - 11}, {18, 20 - 11}, {1, 0}, {16, 0}};
    std::vector<ClSymbol> overrun18 = {{18, 97 - 11}, {1, 0}, {18, 138 - 11}, {18, 20 - 11}, {1, 0}, {18, 0}};
    struct Case {
        const char* name;
        std::vector<ClSymbol> header;
        int result;
    } cases[] = {
        {"runs", ok, kInflateOk},
        {"leading repeat 16", leading16, kInflateOk},
        {"16 repeats the previous length", repeat_one, kInflateBadCode},
        {"16 past the end", overrun16, kInflateBadData},
        {"18 past the end", overrun18, kInflateBadData},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Decoded d = Decode(DynamicStream(lit, {0}, {{'a'}, {'a'}, {256}}, c.header));
        EXPECT_EQ(d.result, c.result);
        if (c.result == kInflateOk) EXPECT_EQ(d.out.bytes, Text("aa"));
    }
}

TEST(Inflate, DynamicHeaderCounts) {
    for (auto [literals, distances] : {std::pair{287u, 1u}, std::pair{288u, 1u}, std::pair{257u, 31u},
                                       std::pair{257u, 32u}}) {
        StreamWriter w;
        w.Put(6 | 8, 4);
        w.Put(literals - 257, 5);
        w.Put(distances - 1, 5);
        w.Put(0, 32);
        EXPECT_EQ(Decode(w.Finish()).result, kInflateBadData) << literals << " " << distances;
    }
}

TEST(Inflate, OneCodeCodeLengthCodeRejectsItsUnusedPattern) {
    // Only code-length symbol 0 has a code (one bit, pattern 0); pattern 1 is unused.
    std::vector<uint8_t> cl(19, 0);
    cl[0] = 1;
    StreamWriter w;
    PutDynamicHeader(w, true, 257, 1, {{0, 0}, {0, 0}}, cl);
    w.Put(1, 1);  // the unused pattern
    w.Put(0, 16);
    EXPECT_EQ(Decode(w.Finish()).result, kInflateBadData);
}

TEST(Inflate, ExhaustedInput) {
    // 'a' has the all-zero code: read past the end, zeros would decode as
    // 'a' forever. The decode must end, and as a failure.
    auto lit = LiteralLengths({{'a', 1}, {256, 1}}, 257);
    StreamWriter w;
    Bytes all(lit);
    all.push_back(0);
    PutDynamicHeader(w, true, 257, 1, PlainLengths(all));
    Decoded d = Decode(w.Finish(), 5);
    EXPECT_EQ(d.result, kInflateBadData);
    EXPECT_LT(d.out.bytes.size(), 16u);

    // A code that begins inside the input may end in the zeros past it: the
    // final fixed block's end-of-block code here lacks its last three bits.
    d = Decode({0x0D});
    EXPECT_EQ(d.result, kInflateOk);
    EXPECT_EQ(d.consumed, 1u);
    // Stored data past the end reads as zero bytes.
    d = Decode({0x0F, 0x04, 0x00, 0x61});
    EXPECT_EQ(d.result, kInflateOk);
    EXPECT_EQ(d.out.bytes, Bytes({0x61, 0, 0, 0}));
    // An empty input: the header reads as type 0.
    EXPECT_EQ(Decode({}).result, kInflateBadCode);
}

TEST(Inflate, MemoryOutputNeverWritesPastItsBuffer) {
    Bytes stream = StoredStream(40000);
    for (size_t room : {size_t(0), size_t(100), size_t(32768), size_t(39999), size_t(40000)}) {
        Bytes buffer(room + 16, 0xA5);
        size_t produced = 0;
        InflateResult r = InflateBuffer(stream.data(), stream.size(), buffer.data(), room, &produced);
        EXPECT_EQ(r, room == 40000 ? kInflateOk : kInflateOutputFull) << room;
        for (size_t i = room; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 0xA5) << room;
        EXPECT_EQ(produced, room) << "the buffer is filled, and no further";
    }
}

TEST(Inflate, NoMemoryIsResultThree) {
    Bytes fixed = {0x9D, 0x98, 0x04, 0x00};
    for (int successes : {0, 1, 2}) {  // the window, then each fixed table
        FailDecoderAllocationAfter(successes);
        Decoded d = Decode(fixed);
        FailDecoderAllocationAfter(-1);
        EXPECT_EQ(d.result, kInflateNoMemory) << successes;
        EXPECT_TRUE(d.out.writes.empty());
    }
}

TEST(Inflate, FailedReadEndsTheDecode) {
    Bytes stream = StoredStream(10000);
    struct FailingInput : ChunkedInput {
        FailingInput(const Bytes& d) : ChunkedInput(d, 1000) {
            refill = [](InflateInput* in) {
                auto* self = static_cast<FailingInput*>(in);
                if (self->offset >= 3000) return false;
                self->next = self->data->data() + self->offset;
                self->end = self->next + 1000;
                self->offset += 1000;
                return true;
            };
        }
    } in(stream);
    RecordingOutput out;
    EXPECT_EQ(Inflate(in, out), kInflateReadFailed);
    EXPECT_TRUE(out.writes.empty());
}

}  // namespace

namespace {

// Chunk boundaries move the decoder between its fast and careful paths; the
// result, the output and the input taken must not depend on them.
TEST(Inflate, ChunkingChangesNothing) {
    Bytes expected;
    Bytes stream = FixedBlockStream(200000, 7, &expected);
    Bytes with_tail(stream);
    with_tail.insert(with_tail.end(), 100, 0x5A);
    for (size_t chunk : {size_t(1), size_t(2), size_t(7), size_t(17), size_t(4096), size_t(1) << 20}) {
        Decoded d = Decode(with_tail, chunk);
        EXPECT_EQ(d.result, kInflateOk) << chunk;
        EXPECT_TRUE(d.out.bytes == expected) << chunk;
        EXPECT_EQ(d.consumed, stream.size()) << chunk;
    }
}

}  // namespace
