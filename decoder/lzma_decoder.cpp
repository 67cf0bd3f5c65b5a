// Raw LZMA: a range coder driving adaptive binary probabilities, literals
// coded with the previous byte as context, matches with a length and either
// a new distance or one of the last four.
#include "decoder/lzma_decoder.h"

#include "decoder/decoder_memory.h"

namespace {

constexpr unsigned kStates = 12;
constexpr unsigned kPositionStatesMax = 16;  // 1 << pb, pb at most 4
constexpr unsigned kEndSlotIndex = 14;       // slots below this carry their low bits in SpecPos
constexpr unsigned kFullDistances = 128;     // 1 << (kEndSlotIndex / 2)
constexpr unsigned kAlignBits = 4;
constexpr unsigned kMatchMinLength = 2;
constexpr uint16_t kProbabilityInit = 1024;  // one half in 11 bits

// The length coder: 2-9 in low (3 bits per position state), 10-17 in mid,
// 18-273 in high (8 bits).
struct LengthProbabilities {
    uint16_t choice, choice2;
    uint16_t low[kPositionStatesMax][8];
    uint16_t mid[kPositionStatesMax][8];
    uint16_t high[256];
};

struct Probabilities {
    uint16_t is_match[kStates][kPositionStatesMax];
    uint16_t is_rep[kStates], is_rep_g0[kStates], is_rep_g1[kStates], is_rep_g2[kStates];
    uint16_t is_rep0_long[kStates][kPositionStatesMax];
    uint16_t slot[4][64];  // by length: 2, 3, 4, 5 and more
    uint16_t special[kFullDistances - kEndSlotIndex];
    uint16_t align[1 << kAlignBits];
    LengthProbabilities match_length, rep_length;
    uint16_t literal[0x300 << kLzmaMaxLiteralBits];
};

// The range decoder. Input comes in pieces; a failed refill feeds zeros and
// marks the stream, which the symbol loop checks once per symbol.
struct RangeDecoder {
    uint32_t range, code;
    const uint8_t* next;
    const uint8_t* end;
    const LzmaInput* input;
    LzmaResult failure;

    uint8_t NextByte() {
        if (next == end) {
            // Through locals: the decoder's own fields then never have their
            // address taken and can live in registers.
            const uint8_t* data = nullptr;
            size_t size = 0;
            if (failure != kLzmaOk || !input->refill(input->context, &data, &size) || size == 0) {
                if (failure == kLzmaOk) failure = kLzmaInputError;
                next = end = nullptr;
                return 0;
            }
            next = data;
            end = data + size;
        }
        return *next++;
    }
    void Normalize() {
        if (range < (1u << 24)) {
            range <<= 8;
            code = code << 8 | NextByte();
        }
    }
    // The probability p is of a 0; it moves 1/32 of the way toward what came.
    unsigned Bit(uint16_t* p) {
        uint32_t bound = (range >> 11) * *p;
        unsigned bit;
        if (code < bound) {
            range = bound;
            *p += (2048 - *p) >> 5;
            bit = 0;
        } else {
            range -= bound;
            code -= bound;
            *p -= *p >> 5;
            bit = 1;
        }
        Normalize();
        return bit;
    }
    // count bits at even odds, most significant first.
    uint32_t Direct(unsigned count) {
        uint32_t result = 0;
        do {
            range >>= 1;
            uint32_t take = code >= range;  // code < range always holds, so one subtraction decides
            code -= range & (0u - take);
            result = result << 1 | take;
            Normalize();
        } while (--count);
        return result;
    }
    // A bit tree of `bits` levels, most significant bit first.
    uint32_t Tree(uint16_t* probabilities, unsigned bits) {
        uint32_t m = 1;
        for (unsigned i = 0; i < bits; i++) m = m << 1 | Bit(&probabilities[m]);
        return m - (1u << bits);
    }
    // The same tree, least significant bit first.
    uint32_t ReverseTree(uint16_t* probabilities, unsigned bits) {
        uint32_t m = 1, result = 0;
        for (unsigned i = 0; i < bits; i++) {
            unsigned bit = Bit(&probabilities[m]);
            m = m << 1 | bit;
            result |= bit << i;
        }
        return result;
    }
    uint32_t Length(LengthProbabilities* p, unsigned position_state) {
        if (!Bit(&p->choice)) return Tree(p->low[position_state], 3);
        if (!Bit(&p->choice2)) return 8 + Tree(p->mid[position_state], 3);
        return 16 + Tree(p->high, 8);
    }
};

// The dictionary: a window over the output that wraps when it is smaller
// than the stream, each filled stretch going to the flush callback.
struct Window {
    uint8_t* buffer;
    size_t size, position, flushed;
    uint64_t total;  // bytes decoded so far
    const LzmaOutput* output;

    bool Flush() {
        bool ok = position == flushed || !output->flush ||
                  output->flush(output->context, buffer + flushed, position - flushed);
        flushed = position;
        return ok;
    }
    bool Wrap() {
        if (position < size) return true;
        bool ok = Flush();
        position = flushed = 0;
        return ok;
    }
    uint8_t Back(size_t distance) const {  // distance 1 is the last byte
        return buffer[position >= distance ? position - distance : position + size - distance];
    }
    bool Put(uint8_t byte) {
        buffer[position++] = byte;
        total++;
        return Wrap();
    }
    // Copies `length` bytes from `distance` back (distance 1 repeats the last byte).
    bool Copy(size_t distance, size_t length) {
        size_t from = position >= distance ? position - distance : position + size - distance;
        total += length;
        while (length) {
            size_t run = length;
            if (run > size - position) run = size - position;
            if (run > size - from) run = size - from;
            uint8_t* to = buffer + position;
            const uint8_t* source = buffer + from;
            for (size_t i = 0; i < run; i++) to[i] = source[i];  // overlapping on purpose: repeats
            position += run;
            from += run;
            if (from == size) from = 0;
            length -= run;
            if (!Wrap()) return false;
        }
        return true;
    }
};

void Reset(uint16_t* p, size_t count) {
    for (size_t i = 0; i < count; i++) p[i] = kProbabilityInit;
}

// Whether a window of `window` bytes serves these properties for a stream
// that ends `end` bytes after its first (its chain's first) byte.
bool PropertiesFit(const LzmaProperties& properties, uint64_t end, size_t window) {
    return properties.lc + properties.lp <= kLzmaMaxLiteralBits && properties.pb <= 4 && window != 0 &&
           window >= (end < properties.dictionary ? end : properties.dictionary);
}

// Fresh probabilities and the range coder's first five bytes: a zero, then
// the code, which must lie below the full range.
LzmaResult BeginStream(LzmaStream* s) {
    Probabilities* p = static_cast<Probabilities*>(s->probabilities);
    Reset(reinterpret_cast<uint16_t*>(p), sizeof(Probabilities) / 2);
    RangeDecoder rc{0xFFFFFFFFu, 0, nullptr, nullptr, &s->input, kLzmaOk};
    bool first_is_zero = rc.NextByte() == 0;
    for (int i = 0; i < 4; i++) rc.code = rc.code << 8 | rc.NextByte();
    if (rc.failure != kLzmaOk) return s->failure = rc.failure;
    if (!first_is_zero || rc.code == rc.range) return s->failure = kLzmaDataError;
    s->range = rc.range;
    s->code = rc.code;
    s->next = rc.next;
    s->end = rc.end;
    return s->failure = kLzmaOk;
}

}  // namespace

bool LzmaParseProperties(uint8_t byte, LzmaProperties* properties) {
    if (byte >= 9 * 5 * 5) return false;
    properties->lc = byte % 9;
    properties->lp = byte / 9 % 5;
    properties->pb = byte / 45;
    return properties->lc + properties->lp <= kLzmaMaxLiteralBits;
}

uint8_t LzmaPropertiesByte(const LzmaProperties& properties) {
    return uint8_t((properties.pb * 5 + properties.lp) * 9 + properties.lc);
}

LzmaResult LzmaStart(LzmaStream* s, const LzmaProperties& properties, uint64_t unpacked, const LzmaInput& input,
                     const LzmaOutput& output) {
    *s = LzmaStream{};
    s->properties = properties;
    s->unpacked = unpacked;
    s->input = input;
    s->output = output;
    s->failure = kLzmaDataError;
    if (!output.buffer || !PropertiesFit(properties, unpacked, output.size)) return s->failure;
    s->probabilities = DecoderAllocZeroed(sizeof(Probabilities));
    if (!s->probabilities) return s->failure = kLzmaNoMemory;
    return BeginStream(s);
}

LzmaResult LzmaContinue(LzmaStream* s, const LzmaProperties& properties, uint64_t unpacked, const LzmaInput& input) {
    if (!s->finished || s->failure != kLzmaOk) return s->failure = kLzmaDataError;
    uint64_t end = s->total + unpacked;
    if (!PropertiesFit(properties, end, s->output.size)) return s->failure = kLzmaDataError;
    s->properties = properties;
    s->unpacked = end;
    s->input = input;
    s->next = s->end = nullptr;  // what is left of the last stream's input is not this one's
    s->rep0 = s->rep1 = s->rep2 = s->rep3 = 0;
    s->state = 0;
    s->finished = false;
    return BeginStream(s);
}

LzmaResult LzmaDecodeTo(LzmaStream* s, uint64_t target) {
    if (s->failure != kLzmaOk || s->finished) return s->failure;
    const uint64_t unpacked = s->unpacked;
    if (target > unpacked) target = unpacked;
    // The state in locals for the loop, so that it can live in registers;
    // stored back when the loop pauses or ends.
    Probabilities* p = static_cast<Probabilities*>(s->probabilities);
    RangeDecoder rc{s->range, s->code, s->next, s->end, &s->input, kLzmaOk};
    Window window{s->output.buffer, s->output.size, s->position, s->flushed, s->total, &s->output};
    uint32_t rep0 = s->rep0, rep1 = s->rep1, rep2 = s->rep2, rep3 = s->rep3;  // distances minus one
    unsigned state = s->state;
    uint8_t previous = s->previous;
    const uint32_t position_mask = (1u << s->properties.pb) - 1;
    const uint32_t literal_position_mask = (1u << s->properties.lp) - 1;
    const unsigned lc = s->properties.lc;

    // A stream that stopped making sense after its input ran out is a missing
    // piece of input, not a damaged one.
    auto damaged = [&rc] { return rc.failure != kLzmaOk ? rc.failure : kLzmaDataError; };
    auto run = [&]() -> LzmaResult {
        for (;;) {
            if (rc.failure != kLzmaOk) return rc.failure;
            // Short of the end a step may pause; at the end the marker must follow.
            if (window.total >= target && target < unpacked) return window.Flush() ? kLzmaOk : kLzmaOutputError;
            unsigned position_state = uint32_t(window.total) & position_mask;
            if (!rc.Bit(&p->is_match[state][position_state])) {
                if (window.total == unpacked) return damaged();  // more than the block holds
                uint16_t* probabilities =
                    p->literal +
                    0x300 * (((uint32_t(window.total) & literal_position_mask) << lc) + (previous >> (8 - lc)));
                unsigned symbol = 1;
                if (state >= 7) {  // after a match the byte at rep0 predicts this one, bit by bit until they differ
                    unsigned match_byte = window.Back(rep0 + 1);
                    do {
                        unsigned match_bit = match_byte >> 7 & 1;
                        match_byte <<= 1;
                        unsigned bit = rc.Bit(&probabilities[((1 + match_bit) << 8) + symbol]);
                        symbol = symbol << 1 | bit;
                        if (match_bit != bit) break;
                    } while (symbol < 0x100);
                }
                while (symbol < 0x100) symbol = symbol << 1 | rc.Bit(&probabilities[symbol]);
                previous = uint8_t(symbol);
                state = state < 4 ? 0 : state < 10 ? state - 3 : state - 6;
                if (!window.Put(previous)) return kLzmaOutputError;
                continue;
            }
            uint32_t length;
            if (rc.Bit(&p->is_rep[state])) {
                if (window.total == 0) return damaged();
                if (!rc.Bit(&p->is_rep_g0[state])) {
                    if (!rc.Bit(&p->is_rep0_long[state][position_state])) {  // one byte from rep0
                        if (window.total == unpacked) return damaged();
                        state = state < 7 ? 9 : 11;
                        previous = window.Back(rep0 + 1);
                        if (!window.Put(previous)) return kLzmaOutputError;
                        continue;
                    }
                } else {
                    uint32_t distance;
                    if (!rc.Bit(&p->is_rep_g1[state])) {
                        distance = rep1;
                    } else {
                        if (!rc.Bit(&p->is_rep_g2[state])) {
                            distance = rep2;
                        } else {
                            distance = rep3;
                            rep3 = rep2;
                        }
                        rep2 = rep1;
                    }
                    rep1 = rep0;
                    rep0 = distance;
                }
                length = rc.Length(&p->rep_length, position_state);
                state = state < 7 ? 8 : 11;
            } else {
                rep3 = rep2;
                rep2 = rep1;
                rep1 = rep0;
                length = rc.Length(&p->match_length, position_state);
                state = state < 7 ? 7 : 10;
                unsigned slot = rc.Tree(p->slot[length < 3 ? length : 3], 6);
                if (slot < 4) {
                    rep0 = slot;
                } else {
                    unsigned direct = (slot >> 1) - 1;
                    rep0 = (2 | (slot & 1)) << direct;
                    if (slot < kEndSlotIndex) {
                        rep0 += rc.ReverseTree(p->special + rep0 - slot, direct);
                    } else {
                        rep0 += rc.Direct(direct - kAlignBits) << kAlignBits;
                        rep0 += rc.ReverseTree(p->align, kAlignBits);
                    }
                }
                if (rep0 == 0xFFFFFFFFu) {  // the end marker: only after the whole block, with the coder at rest
                    if (rc.failure != kLzmaOk || window.total != unpacked || rc.code != 0) return damaged();
                    s->finished = true;
                    return window.Flush() ? kLzmaOk : kLzmaOutputError;
                }
            }
            length += kMatchMinLength;
            if (rep0 >= window.total || rep0 >= window.size || length > unpacked - window.total) return damaged();
            if (!window.Copy(size_t(rep0) + 1, length)) return kLzmaOutputError;
            previous = window.Back(1);
        }
    };
    LzmaResult result = run();
    s->range = rc.range;
    s->code = rc.code;
    s->next = rc.next;
    s->end = rc.end;
    s->position = window.position;
    s->flushed = window.flushed;
    s->total = window.total;
    s->rep0 = rep0, s->rep1 = rep1, s->rep2 = rep2, s->rep3 = rep3;
    s->state = state;
    s->previous = previous;
    return s->failure = result;
}

const uint8_t* LzmaHistory(const LzmaStream& s, uint64_t offset, size_t* run) {
    if (offset >= s.total || s.total - offset > s.output.size) return nullptr;
    size_t back = size_t(s.total - offset);
    size_t at = s.position >= back ? s.position - back : s.position + s.output.size - back;
    *run = at < s.position ? s.position - at : s.output.size - at;
    return s.output.buffer + at;
}

void LzmaEnd(LzmaStream* s) {
    DecoderFree(s->probabilities);
    s->probabilities = nullptr;
}

LzmaResult LzmaDecode(const LzmaProperties& properties, uint64_t unpacked, const LzmaInput& input,
                      const LzmaOutput& output) {
    LzmaStream stream;
    LzmaResult result = LzmaStart(&stream, properties, unpacked, input, output);
    if (result == kLzmaOk) result = LzmaDecodeTo(&stream, unpacked);
    LzmaEnd(&stream);
    return result;
}

LzmaInput LzmaInputFrom(LzmaMemory* memory) {
    return {[](void* context, const uint8_t** data, size_t* size) {
                LzmaMemory* m = static_cast<LzmaMemory*>(context);
                *data = m->data;
                *size = m->size;
                m->size = 0;
                return *size != 0;
            },
            memory};
}

LzmaResult LzmaDecodeBuffer(const LzmaProperties& properties, const uint8_t* in, size_t in_size, uint8_t* out,
                            size_t unpacked) {
    LzmaMemory once{in, in_size};
    LzmaInput input = LzmaInputFrom(&once);
    uint8_t dummy = 0;  // an empty block still needs a window to point at
    LzmaOutput output{unpacked ? out : &dummy, unpacked ? unpacked : 1, nullptr, nullptr};
    return LzmaDecode(properties, unpacked, input, output);
}
