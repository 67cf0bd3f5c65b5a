// Encodes a file as a delta against a base file: a command stream of copy
// and literal operations and the literal bytes they take, the two parts
// that the setup program reads as a delta entry's command item and literal
// item. Matches are found in a suffix array of the base (libdivsufsort).
#pragma once
#include <cstdint>
#include <vector>

#include "engine/delta_format.h"

using Bytes = std::vector<uint8_t>;

// The base's bytes and their suffix array, built once and reused for every
// file measured against the same base, with two indexes that narrow each
// search: where the suffixes of each leading byte pair lie, and which runs
// long enough to pay for a copy the base may hold at all.
class DeltaBase {
public:
    explicit DeltaBase(Bytes base);
    const Bytes& bytes() const { return base_; }

    // The longest run of base bytes equal to target[0..limit), preferring,
    // among runs of about that length, the one whose displacement from
    // `near` is cheapest to encode. Only displacements the command stream
    // can express are considered, and no run is longer than one copy may be
    // (kDeltaCopyBufferSize). Length 0 when no run saves enough over
    // literals to be worth a copy.
    struct Match {
        uint32_t position = 0;
        uint32_t length = 0;
    };
    Match Longest(const uint8_t* target, uint32_t limit, int64_t near) const;

private:
    Bytes base_;
    std::vector<int32_t> suffixes_;
    std::vector<uint32_t> pair_start_;  // suffixes by their first two bytes
    std::vector<bool> runs_;            // hashes of the runs a copy can pay for
    unsigned run_bits_ = 0;
};

struct DeltaCommands {
    Bytes commands;
    Bytes literals;
};

DeltaCommands EncodeDelta(const DeltaBase& base, const Bytes& target);

// The displacements the command stream can express.
constexpr int64_t kDeltaMinDisplacement = -2113568;
constexpr int64_t kDeltaMaxDisplacement = 2113567;

// Bytes the displacement S takes after a copy's op byte: 1, 2 or 3; 0 when
// S cannot be expressed.
int DisplacementBytes(int64_t s);
