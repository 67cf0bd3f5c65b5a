// Applying a delta to a base held in memory, for the builder's checks,
// tests and fuzzing. The setup program applies deltas from a base file
// (engine/extraction.cpp); both read the commands through the same walk.
#pragma once
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "engine/delta_format.h"

// The file the delta builds from base, or nothing when the delta is faulty
// (the fault in *fault when asked). The output may not outgrow output_limit.
inline std::optional<std::vector<uint8_t>> ApplyDeltaInMemory(
    const std::vector<uint8_t>& base, const std::vector<uint8_t>& commands, const std::vector<uint8_t>& literals,
    uint64_t output_limit = std::numeric_limits<uint32_t>::max(), DeltaStatus* fault = nullptr) {
    constexpr uint64_t kMaxItem = std::numeric_limits<uint32_t>::max();
    if (base.size() > kMaxItem || commands.size() > kMaxItem || literals.size() > kMaxItem) {
        if (fault) *fault = kDeltaOutputTooLong;
        return std::nullopt;
    }
    DeltaWalk walk = StartDeltaWalk(commands.data(), uint32_t(commands.size()), literals.data(),
                                    uint32_t(literals.size()), uint32_t(base.size()), output_limit);
    std::vector<uint8_t> out;
    DeltaOp op;
    DeltaStatus status;
    while ((status = NextDeltaOp(&walk, &op)) == kDeltaOp) {
        out.insert(out.end(), op.literals, op.literals + op.literal_count);
        out.insert(out.end(), base.data() + op.base_position, base.data() + op.base_position + op.copy_count);
    }
    if (fault) *fault = status;
    if (status != kDeltaEnd) return std::nullopt;
    return out;
}
