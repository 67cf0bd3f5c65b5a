#include "decoder/inflate.h"

#include <cstring>

#include "decoder/decoder_memory.h"
#include "decoder/huffman_table.h"

#define KILN_ALWAYS_INLINE inline __attribute__((always_inline))

namespace {

constexpr uint32_t kWindowSize = 32768;
constexpr uint32_t kMaxMatch = 258;
constexpr uint32_t kWindowEnd = 2 * kWindowSize;
// Output for a sink is produced in the upper half of a double window whose
// lower half holds the previous 32 KiB, so a match never wraps.
// The fast loop runs while this much input is buffered: one symbol takes at
// most three refills of a 32-bit word (or one of a 64-bit word).
constexpr ptrdiff_t kFastInputMargin = 16;

using BitBuf = size_t;
constexpr unsigned kBitBufBits = sizeof(BitBuf) * 8;
// Match copies move two words at a time and may overrun their end by
// almost that much; the fast loop keeps a longest match and that overrun
// clear of the output's end.
constexpr size_t kCopyStep = 2 * sizeof(BitBuf);
constexpr size_t kFastOutputMargin = kMaxMatch + kCopyStep;

constexpr uint8_t kCodeLengthOrder[19] = {18, 17, 16, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
constexpr uint16_t kLengthBase[31] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27, 31,
                                      35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258, 0,  0};
// Symbols 286 and 287 exist only in fixed blocks, where they are invalid.
constexpr uint16_t kLengthExtra[31] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2,
                                       3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, kOpInvalid, kOpInvalid};
constexpr uint16_t kDistBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                                    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint16_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

constexpr HuffAlphabet kCodeLengthAlphabet = {19, nullptr, nullptr};
constexpr HuffAlphabet kLiteralAlphabet = {257, kLengthBase, kLengthExtra};
constexpr HuffAlphabet kDistanceAlphabet = {0, kDistBase, kDistExtra};

inline BitBuf Mask(unsigned n) { return (BitBuf(1) << n) - 1; }

struct Inflater {
    InflateInput* in;
    DecoderOutput* out;

    // Bits taken from the input and not used yet, least significant first.
    BitBuf bitbuf;
    unsigned bitcount;
    const uint8_t* chunk_start;  // where the current input chunk began
    uint64_t taken_before;       // bytes taken from earlier chunks
    bool exhausted;
    uint64_t overrun;  // bits used past the end of the input, read as zeros
    // The furthest bit that a decoder taking one byte at a time would have
    // asked for: it fixes how much input the decode takes in the end.
    uint64_t reach;

    // With a sink, `window` is the double window and output runs from
    // kWindowSize to kWindowEnd; without one, it is the caller's buffer,
    // which the output fills from 0 and must not outgrow.
    uint8_t* window;
    size_t pos;  // next output byte
    size_t end;  // window end, or the size of the caller's buffer
    size_t fast_limit;

    HuffTable fixed_literals;
    HuffTable fixed_distances;
};

uint64_t BitPosition(const Inflater& s, const uint8_t* next, unsigned bitcount) {
    return (s.taken_before + uint64_t(next - s.chunk_start)) * 8 - bitcount + s.overrun;
}

void NoteReach(Inflater& s, uint64_t bit) {
    if (bit > s.reach) s.reach = bit;
}

// Takes bytes one at a time until n bits are held. Past the end of the input
// the missing bits read as zero. False only when the source failed.
bool Need(Inflater& s, unsigned n) {
    NoteReach(s, BitPosition(s, s.in->next, s.bitcount) + n);
    while (s.bitcount < n) {
        if (s.in->next == s.in->end) {
            if (s.exhausted) return true;
            s.taken_before += s.in->next - s.chunk_start;
            if (!s.in->refill(s.in)) return false;
            s.chunk_start = s.in->next;
            if (s.in->next == s.in->end) {
                s.exhausted = true;
                return true;
            }
        }
        s.bitbuf |= BitBuf(*s.in->next++) << s.bitcount;
        s.bitcount += 8;
    }
    return true;
}

void Drop(Inflater& s, unsigned n) {
    if (n <= s.bitcount) {
        s.bitbuf >>= n;
        s.bitcount -= n;
    } else {
        s.overrun += n - s.bitcount;
        s.bitbuf = 0;
        s.bitcount = 0;
    }
}

// Needs n bits and takes them as a number.
int ReadBits(Inflater& s, unsigned n, uint32_t* value) {
    if (!Need(s, n)) return kInflateReadFailed;
    *value = uint32_t(s.bitbuf & Mask(n));
    Drop(s, n);
    return kInflateOk;
}

// Decodes one code the careful way. A code that would begin past the last
// bit the input supplied is invalid, so exhausted input cannot decode
// forever; an empty table holds no codes at all.
int DecodeSlow(Inflater& s, const HuffTable& table, HuffEntry* entry) {
    if (!table.entries) return kInflateBadData;
    if (!Need(s, table.width)) return kInflateReadFailed;
    if (s.bitcount == 0) return kInflateBadData;
    HuffEntry e = table.entries[s.bitbuf & Mask(table.width)];
    while (EntryOp(e) > kOpLiteral) {
        if (EntryOp(e) == kOpInvalid) return kInflateBadData;
        Drop(s, EntryBits(e));
        unsigned n = EntryOp(e) - kOpLiteral;
        if (!Need(s, n)) return kInflateReadFailed;
        e = table.entries[EntryValue(e) + (s.bitbuf & Mask(n))];
    }
    Drop(s, EntryBits(e));
    *entry = e;
    return kInflateOk;
}

// Hands the upper half of the window to the sink and keeps it as history.
int FlushWindow(Inflater& s) {
    if (!s.out->Write(s.window + kWindowSize, uint16_t(kWindowSize))) return kInflateOutputFull;
    std::memcpy(s.window, s.window + kWindowSize, kWindowSize);
    s.pos = kWindowSize;
    return kInflateOk;
}

// Output that reaches the window's end goes to the sink at once; a
// caller's buffer that is full refuses the next byte.
int Produced(Inflater& s, size_t n) {
    s.pos += n;
    return s.pos == s.end && s.out ? FlushWindow(s) : kInflateOk;
}

int PutByte(Inflater& s, uint8_t byte) {
    if (s.pos == s.end) return kInflateOutputFull;
    s.window[s.pos] = byte;
    return Produced(s, 1);
}

// Bytes before the first output byte read as zeros, as in a new window.
int CopyMatchSlow(Inflater& s, uint32_t length, uint32_t distance) {
    while (length) {
        size_t piece = s.end - s.pos < length ? s.end - s.pos : length;
        if (!piece) return kInflateOutputFull;
        for (size_t at = s.pos; at < s.pos + piece; ++at) s.window[at] = at >= distance ? s.window[at - distance] : 0;
        length -= uint32_t(piece);
        int r = Produced(s, piece);
        if (r) return r;
    }
    return kInflateOk;
}

// Copies a match that fits before the output's end, two words at a time
// where the distance allows; the last step may run past the match.
KILN_ALWAYS_INLINE void CopyMatchFast(uint8_t* dst, uint32_t length, uint32_t distance) {
    const uint8_t* src = dst - distance;
    uint8_t* const end = dst + length;
    if (distance >= sizeof(BitBuf)) {
        do {
            BitBuf a, b;
            std::memcpy(&a, src, sizeof a);
            std::memcpy(dst, &a, sizeof a);
            std::memcpy(&b, src + sizeof a, sizeof b);
            std::memcpy(dst + sizeof a, &b, sizeof b);
            dst += kCopyStep;
            src += kCopyStep;
        } while (dst < end);
    } else if (distance == 1) {
        BitBuf run = BitBuf(*src) * (~BitBuf(0) / 0xFF);
        do {
            std::memcpy(dst, &run, sizeof run);
            dst += sizeof run;
        } while (dst < end);
    } else {
        do *dst++ = *src++;
        while (dst < end);
    }
}

// Result of the data loops besides the decoder's results.
constexpr int kBlockEnd = -1;
constexpr int kNeedSlowPath = -2;

KILN_ALWAYS_INLINE void RefillFast(BitBuf& buf, unsigned& count, const uint8_t*& next) {
    BitBuf word;
    std::memcpy(&word, next, sizeof word);
    buf |= word << count;
    next += (kBitBufBits - 1 - count) >> 3;
    count |= kBitBufBits - 8;
}

// The low n bits, n = 0..16, by table: cheaper than building the mask.
constexpr uint32_t kLowBits[17] = {0,     1,     3,     7,      15,     31,     63,    127,  255,
                                   511,   1023,  2047,  4095,   8191,   16383,  32767, 65535};

// An entry's code bits as a shift count: they never exceed 16, so the
// bits above the shift's own width can stay in, which saves the masking.
KILN_ALWAYS_INLINE unsigned CodeShift(HuffEntry e) { return e & (kBitBufBits - 1); }

// The inner loop: word-at-a-time input, no end checks, while at least
// kFastInputMargin bytes are buffered and a longest match fits the output.
// Stops with kNeedSlowPath when either runs short or a symbol is faulty or
// reaches before the first output byte. Built for speed where the rest is
// built for size, and so that 32-bit x86 keeps the bit buffer, its count
// and both positions in registers.
#if defined(__clang__)
#define KILN_BUILT_FOR_SPEED  // clang builds only the native tree, at full speed already
#else
#define KILN_BUILT_FOR_SPEED __attribute__((optimize("O2")))
#endif
KILN_BUILT_FOR_SPEED int DecodeDataFast(Inflater& s, const HuffTable& lt, const HuffTable& dt) {
    const uint8_t* next = s.in->next;
    if (s.in->end - next < kFastInputMargin || s.pos >= s.fast_limit) return kNeedSlowPath;
    const uint8_t* const in_limit = s.in->end - kFastInputMargin;
    uint8_t* const out = s.window;
    uint8_t* dst = out + s.pos;
    uint8_t* const dst_limit = out + s.fast_limit;
    BitBuf buf = s.bitbuf;
    unsigned count = s.bitcount;
    const HuffEntry* const L = lt.entries;
    const HuffEntry* const D = dt.entries;
    const BitBuf lmask = Mask(lt.width);
    const unsigned lwidth = lt.width;
    const unsigned dwidth = dt.width;
    // A distance lookup can peek past the end of the block's last code, so
    // its reach has to be remembered, as the furthest input byte a decoder
    // taking one byte at a time would hold. First-level lookups of one
    // block reach ever further, so the last one stands for all of them;
    // sub-table lookups reach by their own widths and are kept apart.
    const uint8_t* peek = nullptr;
    const uint8_t* sub_peek = nullptr;
    int result = kNeedSlowPath;
    // The state before a length symbol: on any fault the symbol is handed,
    // untouched, to the careful path, which finds the same fault having
    // asked for exactly its bits.
    BitBuf symbol_buf;
    unsigned symbol_count;
    const uint8_t* symbol_next;

    for (;;) {
        // Literals come in runs, and have a loop of their own.
        HuffEntry e;
        for (;;) {
            RefillFast(buf, count, next);
            e = L[buf & lmask];
            if (EntryOp(e) != kOpLiteral) break;
            buf >>= CodeShift(e);
            count -= EntryBits(e);
            *dst++ = uint8_t(EntryValue(e));
            // More while the buffer holds a first-level code: a literal found
            // there is no longer than the table is wide.
            e = L[buf & lmask];
            if (count >= lwidth && EntryOp(e) == kOpLiteral) {
                buf >>= CodeShift(e);
                count -= EntryBits(e);
                *dst++ = uint8_t(EntryValue(e));
            }
            if (next > in_limit || dst >= dst_limit) goto done;
        }
        symbol_buf = buf;
        symbol_count = count;
        symbol_next = next;
        while (EntryOp(e) > kOpLiteral) {
            if (EntryOp(e) == kOpInvalid) goto fault;
            buf >>= CodeShift(e);
            count -= EntryBits(e);
            e = L[EntryValue(e) + (buf & kLowBits[EntryOp(e) - kOpLiteral])];
        }
        buf >>= CodeShift(e);
        count -= EntryBits(e);
        uint32_t op = EntryOp(e);
        if (op == kOpLiteral) {
            *dst++ = uint8_t(EntryValue(e));
            if (next > in_limit || dst >= dst_limit) break;
            continue;
        }
        if (op == kOpEndOfBlock) {
            result = kBlockEnd;
            break;
        }
        uint32_t length = EntryValue(e) + uint32_t(buf & kLowBits[op]);
        buf >>= op;
        count -= op;
        if (!D) goto fault;
        if (kBitBufBits < 64) RefillFast(buf, count, next);

        peek = next - ((count - dwidth) >> 3);
        e = D[buf & kLowBits[dwidth]];
        while (EntryOp(e) > kOpLiteral) {
            if (EntryOp(e) == kOpInvalid) goto fault;
            buf >>= CodeShift(e);
            count -= EntryBits(e);
            unsigned n = EntryOp(e) - kOpLiteral;
            const uint8_t* reach = next - ((count - n) >> 3);
            if (reach > sub_peek) sub_peek = reach;
            e = D[EntryValue(e) + (buf & kLowBits[n])];
        }
        buf >>= CodeShift(e);
        count -= EntryBits(e);
        op = EntryOp(e);
        if (kBitBufBits < 64 && count < op) RefillFast(buf, count, next);
        uint32_t distance = EntryValue(e) + uint32_t(buf & kLowBits[op]);
        if (distance > size_t(dst - out)) goto fault;
        buf >>= op;
        count -= op;
        CopyMatchFast(dst, length, distance);
        dst += length;
        if (next > in_limit || dst >= dst_limit) break;
    }
    goto done;
fault:
    buf = symbol_buf;
    count = symbol_count;
    next = symbol_next;
done:
    if (sub_peek > peek) peek = sub_peek;
    if (peek) NoteReach(s, (s.taken_before + uint64_t(peek - s.chunk_start)) * 8);
    s.in->next = next;
    s.bitbuf = buf;
    s.bitcount = count;
    s.pos = size_t(dst - out);
    return result;
}

// One literal, match or end of block, taking input byte by byte.
int DecodeSymbolSlow(Inflater& s, const HuffTable& lt, const HuffTable& dt) {
    HuffEntry e;
    int r = DecodeSlow(s, lt, &e);
    if (r) return r;
    uint32_t op = EntryOp(e);
    if (op == kOpLiteral) return PutByte(s, uint8_t(EntryValue(e)));
    if (op == kOpEndOfBlock) return kBlockEnd;
    uint32_t extra;
    if ((r = ReadBits(s, op, &extra))) return r;
    uint32_t length = EntryValue(e) + extra;
    if ((r = DecodeSlow(s, dt, &e))) return r;
    if ((r = ReadBits(s, EntryOp(e), &extra))) return r;
    return CopyMatchSlow(s, length, EntryValue(e) + extra);
}

int DecodeData(Inflater& s, const HuffTable& lt, const HuffTable& dt) {
    if (!lt.entries) return kInflateBadData;
    for (;;) {
        int r = DecodeDataFast(s, lt, dt);
        if (r == kNeedSlowPath) r = DecodeSymbolSlow(s, lt, dt);
        if (r == kBlockEnd) return kInflateOk;
        if (r) return r;
    }
}

int StoredBlock(Inflater& s) {
    Drop(s, s.bitcount % 8);
    uint32_t length;
    int r = ReadBits(s, 16, &length);
    while (r == kInflateOk && length) {
        InflateInput& in = *s.in;
        if (s.bitcount == 0 && in.next != in.end && s.pos != s.end) {
            // Straight from the input buffer to the output. The bit buffer
            // may still hold a look-ahead copy of these bytes: drop it.
            s.bitbuf = 0;
            size_t run = size_t(in.end - in.next);
            if (run > length) run = length;
            if (run > s.end - s.pos) run = s.end - s.pos;
            std::memcpy(s.window + s.pos, in.next, run);
            in.next += run;
            length -= uint32_t(run);
            NoteReach(s, BitPosition(s, in.next, 0));
            r = Produced(s, run);
        } else {
            uint32_t byte;
            if (!(r = ReadBits(s, 8, &byte))) r = PutByte(s, uint8_t(byte));
            --length;
        }
    }
    return r;
}

int FixedBlock(Inflater& s) {
    if (!s.fixed_literals.entries) {
        uint8_t lengths[288];
        std::memset(lengths, 8, 144);
        std::memset(lengths + 144, 9, 112);
        std::memset(lengths + 256, 7, 24);
        std::memset(lengths + 280, 8, 8);
        int r = BuildHuffTable(lengths, 288, kLiteralAlphabet, 7, &s.fixed_literals);
        if (r) {
            FreeHuffTable(&s.fixed_literals);
            return r;
        }
        // 30 codes of 5 bits leave two slots unused: incomplete is expected.
        std::memset(lengths, 5, 30);
        r = BuildHuffTable(lengths, 30, kDistanceAlphabet, 5, &s.fixed_distances);
        if (r > 1) {
            FreeHuffTable(&s.fixed_literals);
            return r;
        }
    }
    int r = DecodeData(s, s.fixed_literals, s.fixed_distances);
    return r == kInflateOk || r >= kInflateReadFailed ? r : kInflateBadData;
}

int ReadCodeLengths(Inflater& s, uint8_t* lengths, uint32_t total) {
    uint32_t header;
    int r = ReadBits(s, 4, &header);
    if (r) return r;
    uint8_t cl_lengths[19] = {};
    for (uint32_t i = 0; i < header + 4; ++i) {
        uint32_t len;
        if ((r = ReadBits(s, 3, &len))) return r;
        cl_lengths[kCodeLengthOrder[i]] = uint8_t(len);
    }
    HuffTable cl;
    if ((r = BuildHuffTable(cl_lengths, 19, kCodeLengthAlphabet, 7, &cl))) {
        FreeHuffTable(&cl);
        return r;
    }
    uint32_t previous = 0;
    for (uint32_t i = 0; i < total && !r;) {
        HuffEntry e;
        if ((r = DecodeSlow(s, cl, &e))) break;
        uint32_t symbol = EntryValue(e);
        if (symbol < 16) {
            lengths[i++] = uint8_t(symbol);
            previous = symbol;
            continue;
        }
        // 16 repeats the previous length (0 before any), 17 and 18 write zeros.
        static constexpr uint8_t kExtraBits[3] = {2, 3, 7};
        static constexpr uint8_t kRepeatBase[3] = {3, 3, 11};
        uint32_t repeat;
        if ((r = ReadBits(s, kExtraBits[symbol - 16], &repeat))) break;
        repeat += kRepeatBase[symbol - 16];
        if (symbol != 16) previous = 0;
        if (repeat > total - i) {
            r = kInflateBadData;
            break;
        }
        std::memset(lengths + i, int(previous), repeat);
        i += repeat;
    }
    FreeHuffTable(&cl);
    return r;
}

int DynamicBlock(Inflater& s) {
    uint32_t literals, distances;
    int r = ReadBits(s, 5, &literals);
    if (!r) r = ReadBits(s, 5, &distances);
    if (r) return r;
    literals += 257;
    distances += 1;
    if (literals > 286 || distances > 30) return kInflateBadData;

    uint8_t lengths[286 + 30];
    if ((r = ReadCodeLengths(s, lengths, literals + distances))) return r;

    HuffTable lt, dt;
    if ((r = BuildHuffTable(lengths, literals, kLiteralAlphabet, 10, &lt))) {
        FreeHuffTable(&lt);
        return r;
    }
    if ((r = BuildHuffTable(lengths + literals, distances, kDistanceAlphabet, 6, &dt))) {
        FreeHuffTable(&lt);
        FreeHuffTable(&dt);
        return r;
    }
    r = DecodeData(s, lt, dt);
    FreeHuffTable(&lt);
    FreeHuffTable(&dt);
    return r == kInflateOk || r >= kInflateReadFailed ? r : kInflateBadData;
}

int InflateBlocks(Inflater& s) {
    uint32_t header;
    do {
        int r = ReadBits(s, 4, &header);
        if (!r) {
            switch (header & 7) {
            case 5: r = FixedBlock(s); break;
            case 6: r = DynamicBlock(s); break;
            case 7: r = StoredBlock(s); break;
            default: r = kInflateBadCode; break;
            }
        }
        if (r) return r;
    } while (!(header & 8));
    if (!s.out) return kInflateOk;
    return s.out->Write(s.window + kWindowSize, uint16_t(s.pos - kWindowSize)) ? kInflateOk : kInflateOutputFull;
}

// Leaves in the input exactly the bytes that a byte-at-a-time decoder would
// not have taken: the fast loop reads ahead within the current chunk only.
void GiveBackReadAhead(Inflater& s) {
    uint64_t taken = s.taken_before + uint64_t(s.in->next - s.chunk_start);
    uint64_t bits = BitPosition(s, s.in->next, s.bitcount);
    uint64_t needed = ((s.reach > bits ? s.reach : bits) + 7) / 8;
    if (needed >= taken) return;
    uint64_t excess = taken - needed;
    uint64_t in_chunk = uint64_t(s.in->next - s.chunk_start);
    s.in->next -= excess < in_chunk ? excess : in_chunk;
}

}  // namespace

bool MemoryOutput::Write(const uint8_t* data, uint16_t count) {
    if (count > room_) return false;
    std::memcpy(next_, data, count);
    next_ += count;
    room_ -= count;
    return true;
}

namespace {

InflateResult Run(Inflater& s, InflateInput& input) {
    s.in = &input;
    s.chunk_start = input.next;
    s.fast_limit = s.end > kFastOutputMargin ? s.end - kFastOutputMargin : 0;
    int r = InflateBlocks(s);
    GiveBackReadAhead(s);
    FreeHuffTable(&s.fixed_literals);
    FreeHuffTable(&s.fixed_distances);
    return InflateResult(r);
}

bool NoMoreInput(InflateInput* input) {
    input->next = input->end;
    return true;
}

}  // namespace

InflateResult Inflate(InflateInput& input, DecoderOutput& output) {
    Inflater s{};
    s.out = &output;
    s.window = static_cast<uint8_t*>(DecoderAllocZeroed(kWindowEnd));
    if (!s.window) return kInflateNoMemory;
    s.pos = kWindowSize;
    s.end = kWindowEnd;
    InflateResult r = Run(s, input);
    DecoderFree(s.window);
    return r;
}

InflateResult InflateInto(InflateInput& input, uint8_t* out, size_t size, size_t* produced) {
    Inflater s{};
    s.window = out;
    s.end = size;
    InflateResult r = Run(s, input);
    *produced = s.pos;
    return r;
}

InflateResult InflateBuffer(const uint8_t* data, size_t size, uint8_t* out, size_t out_size, size_t* produced,
                            size_t* consumed) {
    InflateInput input;
    input.next = data;
    input.end = data + size;
    input.refill = NoMoreInput;
    uint8_t nowhere;
    size_t made;
    InflateResult r = InflateInto(input, out ? out : &nowhere, out ? out_size : 0, &made);
    if (produced) *produced = made;
    if (consumed) *consumed = size_t(input.next - data);
    return r;
}
