#include "builder/archive/deflate_transcoder.h"

#include "builder/archive/bit_writer.h"

namespace {

constexpr int kMaxCodeBits = 15;
constexpr uint32_t kEndOfBlock = 256;
constexpr uint32_t kMaxLiteralCodes = 286;
constexpr uint32_t kMaxDistanceCodes = 30;

// Where each stream sends its code-length code lengths.
constexpr uint8_t kRfcOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
constexpr uint8_t kOurOrder[19] = {18, 17, 16, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistanceBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                        33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                        1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// Reads the input least significant bit first. Bits past the end read as
// zero and set Overrun(), so callers can check once per symbol.
class BitReader {
public:
    BitReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint32_t Peek(int bits) const {  // bits <= 32
        uint64_t window = 0;
        size_t byte = size_t(pos_ >> 3);
        for (int i = 0; i < 5 && byte + i < size_; ++i) window |= uint64_t(data_[byte + i]) << (8 * i);
        return uint32_t(window >> (pos_ & 7)) & (bits >= 32 ? ~0u : (1u << bits) - 1);
    }
    void Skip(uint64_t bits) { pos_ += bits; }
    uint32_t Take(int bits) {
        uint32_t value = Peek(bits);
        pos_ += bits;
        return value;
    }
    void AlignToByte() { pos_ = (pos_ + 7) & ~uint64_t(7); }
    void Seek(uint64_t pos) { pos_ = pos; }
    uint64_t Position() const { return pos_; }
    bool Overrun() const { return pos_ > uint64_t(size_) * 8; }
    // Only meaningful on a byte boundary.
    const uint8_t* BytePointer() const { return data_ + (pos_ >> 3); }
    size_t BytesLeft() const { return Overrun() ? 0 : size_ - size_t(pos_ >> 3); }

private:
    const uint8_t* data_;
    size_t size_;
    uint64_t pos_ = 0;
};

// A canonical Huffman code decoded by one lookup on the next `bits_` input
// bits (codes are sent most significant bit first, so the table is indexed
// by bit-reversed codes). An entry is symbol << 4 | code length; 0 marks a
// bit pattern that no code starts with.
class HuffmanCode {
public:
    // Accepts exactly the code sets that the setup program's decoder
    // accepts: complete codes, a lone 1-bit code, and no codes at all.
    bool Build(const uint8_t* lengths, uint32_t count) {
        uint32_t per_length[kMaxCodeBits + 1] = {};
        for (uint32_t s = 0; s < count; ++s) per_length[lengths[s]]++;
        bits_ = 0;
        table_.clear();
        if (per_length[0] == count) return true;
        per_length[0] = 0;

        int32_t left = 1;
        for (int len = 1; len <= kMaxCodeBits; ++len) {
            left = (left << 1) - int32_t(per_length[len]);
            if (left < 0) return false;
            if (per_length[len]) bits_ = len;
        }
        if (left > 0 && bits_ > 1) return false;

        uint32_t next[kMaxCodeBits + 1] = {};
        for (int len = 1, code = 0; len <= kMaxCodeBits; ++len) {
            code = (code + per_length[len - 1]) << 1;
            next[len] = uint32_t(code);
        }
        table_.assign(size_t(1) << bits_, 0);
        for (uint32_t s = 0; s < count; ++s) {
            int len = lengths[s];
            if (!len) continue;
            uint32_t code = next[len]++, reversed = 0;
            for (int i = 0; i < len; ++i) reversed |= ((code >> i) & 1) << (len - 1 - i);
            for (uint32_t i = reversed; i < table_.size(); i += 1u << len) table_[i] = uint16_t(s << 4 | len);
        }
        return true;
    }

    // The next symbol, or -1 when the bits form no code.
    int Decode(BitReader& in) const {
        if (table_.empty()) return -1;
        uint16_t entry = table_[in.Peek(bits_)];
        if (!entry) return -1;
        in.Skip(entry & 15);
        return entry >> 4;
    }

private:
    std::vector<uint16_t> table_;
    int bits_ = 0;
};

// Appends input bits [from, to) to the output unchanged.
void CopyBits(BitReader in, uint64_t from, uint64_t to, BitWriter& out) {
    in.Seek(from);
    for (; to - from >= 32; from += 32) out.Put(in.Take(32), 32);
    out.Put(in.Take(int(to - from)), int(to - from));
}

// Walks one block's symbols up to its end-of-block code. `produced` counts
// the output so far, so that matches reaching before the stream start fail.
bool SkimBlockData(BitReader& in, const HuffmanCode& literals, const HuffmanCode& distances,
                   uint64_t& produced) {
    for (;;) {
        int symbol = literals.Decode(in);
        if (symbol < 0 || in.Overrun()) return false;
        if (symbol < int(kEndOfBlock)) {
            ++produced;
            continue;
        }
        if (symbol == int(kEndOfBlock)) return true;
        int code = symbol - 257;
        if (code >= 29) return false;
        uint32_t length = kLengthBase[code] + in.Take(kLengthExtra[code]);
        code = distances.Decode(in);
        if (code < 0 || code >= int(kMaxDistanceCodes)) return false;
        uint32_t distance = kDistanceBase[code] + in.Take(kDistanceExtra[code]);
        if (distance > produced || in.Overrun()) return false;
        produced += length;
    }
}

const HuffmanCode& FixedLiterals() {
    static const HuffmanCode code = [] {
        uint8_t lengths[288];
        for (int s = 0; s < 288; ++s) lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
        HuffmanCode c;
        c.Build(lengths, 288);
        return c;
    }();
    return code;
}

// All 32 five-bit patterns; codes 30 and 31 are then refused as invalid.
const HuffmanCode& FixedDistances() {
    static const HuffmanCode code = [] {
        uint8_t lengths[32];
        for (uint8_t& l : lengths) l = 5;
        HuffmanCode c;
        c.Build(lengths, 32);
        return c;
    }();
    return code;
}

bool StoredBlock(BitReader& in, bool final, BitWriter& out, uint64_t& produced) {
    in.AlignToByte();
    uint32_t length = in.Take(16);
    uint32_t check = in.Take(16);
    if ((length ^ 0xFFFF) != check || in.BytesLeft() < length) return false;
    out.Put(7 | final << 3, 4);
    out.AlignToByte();
    out.Put(length, 16);
    out.PutBytes(in.BytePointer(), length);
    in.Skip(uint64_t(length) * 8);
    produced += length;
    return true;
}

bool FixedBlock(BitReader& in, bool final, BitWriter& out, uint64_t& produced) {
    uint64_t start = in.Position();
    if (!SkimBlockData(in, FixedLiterals(), FixedDistances(), produced)) return false;
    out.Put(5 | final << 3, 4);
    CopyBits(in, start, in.Position(), out);
    return true;
}

bool DynamicBlock(BitReader& in, bool final, BitWriter& out, uint64_t& produced) {
    uint32_t literal_count = in.Take(5) + 257;
    uint32_t distance_count = in.Take(5) + 1;
    uint32_t sent = in.Take(4) + 4;
    if (literal_count > kMaxLiteralCodes || distance_count > kMaxDistanceCodes) return false;
    uint8_t cl_lengths[19] = {};
    for (uint32_t i = 0; i < sent; ++i) cl_lengths[kRfcOrder[i]] = uint8_t(in.Take(3));

    // From here to the block's end the bits carry over as they are.
    uint64_t start = in.Position();
    HuffmanCode cl_code;
    if (!cl_code.Build(cl_lengths, 19)) return false;
    uint8_t lengths[kMaxLiteralCodes + kMaxDistanceCodes];
    uint32_t total = literal_count + distance_count;
    for (uint32_t n = 0; n < total;) {
        int symbol = cl_code.Decode(in);
        if (symbol < 0 || in.Overrun()) return false;
        if (symbol < 16) {
            lengths[n++] = uint8_t(symbol);
            continue;
        }
        uint8_t value = 0;
        uint32_t repeat;
        if (symbol == 16) {
            if (n == 0) return false;  // nothing to repeat
            value = lengths[n - 1];
            repeat = 3 + in.Take(2);
        } else {
            repeat = symbol == 17 ? 3 + in.Take(3) : 11 + in.Take(7);
        }
        if (n + repeat > total) return false;
        while (repeat--) lengths[n++] = value;
    }
    HuffmanCode literals, distances;
    if (!literals.Build(lengths, literal_count) || !distances.Build(lengths + literal_count, distance_count) ||
        !SkimBlockData(in, literals, distances, produced))
        return false;

    // Our header: same counts, code-length lengths in our order, trimmed.
    uint32_t ours = 19;
    while (ours > 4 && cl_lengths[kOurOrder[ours - 1]] == 0) --ours;
    out.Put(6 | final << 3, 4);
    out.Put(literal_count - 257, 5);
    out.Put(distance_count - 1, 5);
    out.Put(ours - 4, 4);
    for (uint32_t i = 0; i < ours; ++i) out.Put(cl_lengths[kOurOrder[i]], 3);
    CopyBits(in, start, in.Position(), out);
    return true;
}

}  // namespace

bool TranscodeDeflate(const uint8_t* deflate, size_t size, std::vector<uint8_t>& out) {
    out.clear();
    BitReader in(deflate, size);
    BitWriter writer(out);
    uint64_t produced = 0;
    for (bool final = false; !final;) {
        final = in.Take(1);
        uint32_t type = in.Take(2);
        bool ok = type == 0   ? StoredBlock(in, final, writer, produced)
                  : type == 1 ? FixedBlock(in, final, writer, produced)
                  : type == 2 ? DynamicBlock(in, final, writer, produced)
                              : false;
        if (!ok || in.Overrun()) return false;
    }
    writer.AlignToByte();
    return true;
}
