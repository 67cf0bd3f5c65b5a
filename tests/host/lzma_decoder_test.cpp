// The LZMA decoder against liblzma, the reference encoder: everything it
// makes, with any properties, decodes to the input whether the window holds
// the whole stream or wraps, and whether input comes whole or a byte at a
// time; damaged, cut and overlong streams are refused without harm.
#include <gtest/gtest.h>
#include <lzma.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "decoder/decoder_memory.h"
#include "decoder/lzma_decoder.h"
#include "tests/host/test_corpus.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Encode(const Bytes& input, const LzmaProperties& properties, uint32_t preset = 6) {
    lzma_options_lzma options;
    lzma_lzma_preset(&options, preset);
    options.lc = properties.lc;
    options.lp = properties.lp;
    options.pb = properties.pb;
    options.dict_size = properties.dictionary;
    lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    Bytes out(input.size() + input.size() / 2 + 1024);
    size_t written = 0;
    EXPECT_EQ(lzma_raw_buffer_encode(filters, nullptr, input.data(), input.size(), out.data(), &written,
                                     out.size()),
              LZMA_OK);
    out.resize(written);
    return out;
}

// Feeds the stream in pieces of `piece` bytes.
struct Pieces {
    const Bytes* stream;
    size_t offset, piece;
};
bool NextPiece(void* context, const uint8_t** data, size_t* size) {
    Pieces* p = static_cast<Pieces*>(context);
    if (p->offset >= p->stream->size()) return false;
    *data = p->stream->data() + p->offset;
    *size = std::min(p->piece, p->stream->size() - p->offset);
    p->offset += *size;
    return true;
}
bool Append(void* context, const uint8_t* data, size_t size) {
    Bytes* out = static_cast<Bytes*>(context);
    out->insert(out->end(), data, data + size);
    return true;
}

// Decodes through a window of `window` bytes: the result, and the bytes in *out.
LzmaResult DecodePieces(const Bytes& stream, const LzmaProperties& properties, uint64_t unpacked, size_t window,
                        size_t piece, Bytes* out) {
    Pieces pieces{&stream, 0, piece};
    Bytes buffer(window);
    out->clear();
    return LzmaDecode(properties, unpacked, {NextPiece, &pieces}, {buffer.data(), buffer.size(), Append, out});
}

Bytes RandomText(size_t size, uint32_t seed) {  // words from a small vocabulary: compressible, with long matches
    std::mt19937 random(seed);
    static const char* words[] = {"setup ", "archive ", "kiln ", "block ", "\r\n", "0x1260 ", "stream ", "file "};
    Bytes out;
    while (out.size() < size) {
        const char* w = words[random() % 8];
        out.insert(out.end(), w, w + std::strlen(w));
        if (random() % 16 == 0) out.push_back(uint8_t(random()));
    }
    out.resize(size);
    return out;
}

std::vector<Bytes> Inputs() {
    std::vector<Bytes> inputs = SyntheticCorpus();
    inputs.push_back(RandomText(300000, 1));
    std::mt19937 random(7);
    Bytes noise(70000);
    for (uint8_t& b : noise) b = uint8_t(random());
    inputs.push_back(noise);
    for (const std::string& path : PeCorpusFiles(3)) inputs.push_back(ReadFileBytes(path));
    return inputs;
}

TEST(LzmaDecoder, DecodesWhatLiblzmaMakes) {
    struct Case {
        unsigned lc, lp, pb;
        uint32_t dictionary, preset;
    } cases[] = {
        {3, 0, 2, 1u << 20, 6}, {0, 2, 2, 1u << 16, 6}, {4, 0, 0, 1u << 22, 9 | LZMA_PRESET_EXTREME},
        {1, 3, 4, 4096, 1},     {0, 0, 0, 1u << 24, 3},
    };
    for (const Bytes& input : Inputs())
        for (const Case& c : cases) {
            SCOPED_TRACE("size " + std::to_string(input.size()) + ", lc " + std::to_string(c.lc) + " lp " +
                         std::to_string(c.lp) + " pb " + std::to_string(c.pb));
            LzmaProperties properties{c.lc, c.lp, c.pb, c.dictionary};
            Bytes stream = Encode(input, properties, c.preset);
            Bytes out(input.size());
            ASSERT_EQ(LzmaDecodeBuffer(properties, stream.data(), stream.size(), out.data(), out.size()), kLzmaOk);
            ASSERT_TRUE(out == input);
            // A window of exactly the dictionary size, which wraps, fed in odd pieces.
            Bytes through;
            ASSERT_EQ(DecodePieces(stream, properties, input.size(), c.dictionary, 777, &through), kLzmaOk);
            ASSERT_TRUE(through == input);
        }
}

// Decoded in steps of random length through a window that wraps, reading
// each step's bytes back from the window's history as the setup program
// does: the steps join up to the input, and history older than the window
// is refused rather than handed out stale.
TEST(LzmaDecoder, StepsReadBackFromTheWindow) {
    std::mt19937 random(11);
    for (const Bytes& input : Inputs()) {
        for (uint32_t dictionary : {4096u, 1u << 16, 1u << 22}) {
            SCOPED_TRACE("size " + std::to_string(input.size()) + ", dictionary " + std::to_string(dictionary));
            LzmaProperties properties{3, 0, 2, dictionary};
            Bytes stream = Encode(input, properties);
            size_t window_size = std::min<size_t>(dictionary, std::max<size_t>(input.size(), 1));
            Bytes window(window_size), out;
            Pieces pieces{&stream, 0, 1000};
            LzmaStream s;
            ASSERT_EQ(LzmaStart(&s, properties, input.size(), {NextPiece, &pieces},
                                {window.data(), window.size(), nullptr, nullptr}),
                      kLzmaOk);
            while (out.size() < input.size()) {
                uint64_t target = out.size() + 1 + random() % (window_size / 2 + 1);
                ASSERT_EQ(LzmaDecodeTo(&s, target), kLzmaOk);
                ASSERT_GE(LzmaDecoded(s), std::min<uint64_t>(target, input.size()));
                while (out.size() < LzmaDecoded(s)) {
                    size_t run = 0;
                    const uint8_t* at = LzmaHistory(s, out.size(), &run);
                    ASSERT_TRUE(at && run);
                    run = std::min<size_t>(run, LzmaDecoded(s) - out.size());
                    out.insert(out.end(), at, at + run);
                }
                size_t run;
                if (LzmaDecoded(s) > window_size) EXPECT_FALSE(LzmaHistory(s, LzmaDecoded(s) - window_size - 1, &run));
                EXPECT_FALSE(LzmaHistory(s, LzmaDecoded(s), &run));
            }
            EXPECT_EQ(LzmaDecodeTo(&s, input.size()), kLzmaOk);  // the end marker, once everything is out
            EXPECT_TRUE(s.finished);
            LzmaEnd(&s);
            ASSERT_TRUE(out == input);
        }
    }
}

// Streams that go on in one window: each encoded with the tail of the data
// before it, of any length, as liblzma's preset dictionary. liblzma counts
// positions (lp, pb) from each stream's start and the decoder from the
// chain's: with fresh probabilities that only relabels contexts, which the
// odd cut points and lp 1, pb 2 show. Decoded through a
// window of the dictionary's size that wraps, in pieces, the chain gives
// the input back; a stream continued before its predecessor ended, or a
// linked stream started on its own, is refused.
TEST(LzmaDecoder, LinkedStreamsContinueTheWindow) {
    struct Case {
        LzmaProperties properties;
        uint32_t preset_limit;
    } cases[] = {{{1, 1, 2, 1u << 16}, 1u << 14}, {{3, 0, 2, 4096}, 4096}, {{2, 0, 0, 1u << 22}, 1u << 20}};
    for (const Bytes& input : Inputs()) {
        if (input.size() < 64) continue;
        size_t cuts[] = {0, input.size() / 3 + 5, input.size() * 2 / 3 + 2, input.size()};
        for (const Case& c : cases) {
            SCOPED_TRACE("size " + std::to_string(input.size()) + ", dictionary " +
                         std::to_string(c.properties.dictionary));
            std::vector<Bytes> streams;
            for (int k = 0; k < 3; ++k) {
                size_t before = cuts[k], preset = before;
                if (before > c.preset_limit) preset = c.preset_limit - 7;
                lzma_options_lzma options;
                lzma_lzma_preset(&options, 6);
                options.lc = c.properties.lc, options.lp = c.properties.lp, options.pb = c.properties.pb;
                options.dict_size = c.properties.dictionary;
                options.preset_dict = preset ? input.data() + before - preset : nullptr;
                options.preset_dict_size = uint32_t(preset);
                lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
                Bytes out(input.size() * 2 + 1024);
                size_t written = 0;
                ASSERT_EQ(lzma_raw_buffer_encode(filters, nullptr, input.data() + before, cuts[k + 1] - before,
                                                 out.data(), &written, out.size()),
                          LZMA_OK);
                out.resize(written);
                streams.push_back(out);
            }
            Bytes window(std::min<size_t>(c.properties.dictionary, input.size())), out;
            Pieces pieces{&streams[0], 0, 333};
            LzmaStream s;
            ASSERT_EQ(LzmaStart(&s, c.properties, cuts[1], {NextPiece, &pieces},
                                {window.data(), window.size(), Append, &out}),
                      kLzmaOk);
            for (int k = 0; k < 3; ++k) {
                if (k) {
                    EXPECT_EQ(LzmaDecodeTo(&s, cuts[k] - 1), kLzmaOk);
                    pieces = {&streams[k], 0, 333};
                    ASSERT_EQ(LzmaContinue(&s, c.properties, cuts[k + 1] - cuts[k], {NextPiece, &pieces}), kLzmaOk);
                }
                if (k == 1) {  // not yet at its end: nothing to continue from
                    EXPECT_EQ(LzmaDecodeTo(&s, cuts[1] + 1), kLzmaOk);
                    LzmaStream early = s;
                    EXPECT_EQ(LzmaContinue(&early, c.properties, 10, {NextPiece, &pieces}), kLzmaDataError);
                }
                ASSERT_EQ(LzmaDecodeTo(&s, cuts[k + 1]), kLzmaOk);
                ASSERT_TRUE(s.finished);
            }
            LzmaEnd(&s);
            ASSERT_TRUE(out == input);
        }
    }
    // The second stream of a text on its own: its matches reach before its start.
    Bytes text = RandomText(50000, 5);
    LzmaProperties properties{3, 0, 2, 1u << 16};
    lzma_options_lzma options;
    lzma_lzma_preset(&options, 6);
    options.dict_size = properties.dictionary;
    options.preset_dict = text.data();
    options.preset_dict_size = 25000;
    lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    Bytes stream(60000);
    size_t written = 0;
    ASSERT_EQ(lzma_raw_buffer_encode(filters, nullptr, text.data() + 25000, 25000, stream.data(), &written,
                                     stream.size()),
              LZMA_OK);
    Bytes out(25000);
    EXPECT_EQ(LzmaDecodeBuffer(properties, stream.data(), written, out.data(), out.size()), kLzmaDataError);
}

TEST(LzmaDecoder, ByteAtATimeInput) {
    Bytes input = RandomText(20000, 3);
    LzmaProperties properties;
    Bytes stream = Encode(input, properties), out;
    ASSERT_EQ(DecodePieces(stream, properties, input.size(), input.size(), 1, &out), kLzmaOk);
    EXPECT_TRUE(out == input);
}

TEST(LzmaDecoder, RefusesStreamsThatDoNotFitTheirBlock) {
    Bytes input = RandomText(5000, 4);
    LzmaProperties properties;
    Bytes stream = Encode(input, properties), out(input.size() + 10);
    // The end marker before the stated size, or data past it.
    EXPECT_EQ(LzmaDecodeBuffer(properties, stream.data(), stream.size(), out.data(), input.size() + 1), kLzmaDataError);
    EXPECT_EQ(LzmaDecodeBuffer(properties, stream.data(), stream.size(), out.data(), input.size() - 1), kLzmaDataError);
    // Cut anywhere: the input runs out.
    for (size_t cut = 0; cut < stream.size(); cut += 1 + cut / 3)
        EXPECT_EQ(LzmaDecodeBuffer(properties, stream.data(), cut, out.data(), input.size()),
                  kLzmaInputError)
            << "cut at " << cut;
    // A first byte that is not zero.
    Bytes bad = stream;
    bad[0] = 1;
    EXPECT_EQ(LzmaDecodeBuffer(properties, bad.data(), bad.size(), out.data(), input.size()), kLzmaDataError);
}

TEST(LzmaDecoder, DamagedStreamsEndCleanly) {
    Bytes input = RandomText(3000, 5);
    LzmaProperties properties{3, 0, 2, 4096};
    Bytes stream = Encode(input, properties);
    for (size_t bit = 8; bit < stream.size() * 8; bit += 3) {
        Bytes bad = stream;
        bad[bit / 8] ^= uint8_t(1 << bit % 8);
        Bytes out;
        LzmaResult result = DecodePieces(bad, properties, input.size(), 4096, 100, &out);
        // Rarely a change leaves a valid stream; it then still has exactly the block's size.
        if (result == kLzmaOk) EXPECT_EQ(out.size(), input.size());
    }
}

TEST(LzmaDecoder, OutputAndMemoryFailuresEndTheDecode) {
    Bytes input = RandomText(100000, 6);
    LzmaProperties properties{3, 0, 2, 1u << 16};
    Bytes stream = Encode(input, properties), window(1u << 16);
    Pieces pieces{&stream, 0, 4096};
    auto refuse = [](void*, const uint8_t*, size_t) { return false; };
    EXPECT_EQ(LzmaDecode(properties, input.size(), {NextPiece, &pieces}, {window.data(), window.size(), refuse, nullptr}),
              kLzmaOutputError);
    FailDecoderAllocationAfter(0);
    Bytes out(input.size());
    EXPECT_EQ(LzmaDecodeBuffer(properties, stream.data(), stream.size(), out.data(), out.size()), kLzmaNoMemory);
    FailDecoderAllocationAfter(-1);
    // A window smaller than both the dictionary and the block is refused before any decoding.
    EXPECT_EQ(LzmaDecode(properties, input.size(), {NextPiece, &pieces}, {window.data(), 100, nullptr, nullptr}),
              kLzmaDataError);
}

TEST(LzmaDecoder, PropertiesByte) {
    LzmaProperties p;
    for (unsigned byte = 0; byte < 256; byte++) {
        bool ok = LzmaParseProperties(uint8_t(byte), &p);
        EXPECT_EQ(ok, byte < 225 && byte % 9 + byte / 9 % 5 <= kLzmaMaxLiteralBits) << byte;
        if (ok) EXPECT_EQ(LzmaPropertiesByte(p), byte);
    }
}

}  // namespace
