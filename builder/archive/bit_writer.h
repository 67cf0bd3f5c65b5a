// Appends bit fields to a byte buffer, least significant bit first, the
// order in which the setup program's decoder takes them.
#pragma once
#include <cstdint>
#include <vector>

class BitWriter {
public:
    explicit BitWriter(std::vector<uint8_t>& out) : out_(out) {}

    // Appends the low `bits` bits of value (bits <= 32).
    void Put(uint32_t value, int bits) {
        acc_ |= uint64_t(value & Mask(bits)) << count_;
        count_ += bits;
        while (count_ >= 8) {
            out_.push_back(uint8_t(acc_));
            acc_ >>= 8;
            count_ -= 8;
        }
    }

    // Pads with zero bits to the next byte boundary.
    void AlignToByte() {
        if (count_) Put(0, 8 - count_);
    }

    // Only valid on a byte boundary.
    void PutBytes(const uint8_t* data, size_t size) { out_.insert(out_.end(), data, data + size); }

private:
    static uint32_t Mask(int bits) { return bits >= 32 ? ~0u : (1u << bits) - 1; }

    std::vector<uint8_t>& out_;
    uint64_t acc_ = 0;
    int count_ = 0;
};
