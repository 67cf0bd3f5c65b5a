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
