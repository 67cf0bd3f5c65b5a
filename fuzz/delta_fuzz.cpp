// Any bytes may arrive as a delta's two items and its base. The walk must
// turn every damaged delta into a fault without reading outside the items or
// the base (each an exact-size heap copy, watched by AddressSanitizer), and a
// delta it accepts must yield the same file under a limit of exactly that
// file's size, and a fault under a limit one byte smaller.
//
// Input: u16 base size, u16 literal size, then the base bytes, the literal
// bytes, and the commands (the rest).
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/delta_in_memory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    size_t base_size = data[0] | data[1] << 8, literal_size = data[2] | data[3] << 8;
    data += 4;
    size -= 4;
    base_size = base_size < size ? base_size : size;
    std::vector<uint8_t> base(data, data + base_size);
    data += base_size;
    size -= base_size;
    literal_size = literal_size < size ? literal_size : size;
    std::vector<uint8_t> literals(data, data + literal_size);
    std::vector<uint8_t> commands(data + literal_size, data + size);

    // A few bytes of commands can ask for megabytes; the limit keeps runs fast.
    constexpr uint64_t kLimit = 1 << 22;
    DeltaStatus fault;
    auto out = ApplyDeltaInMemory(base, commands, literals, kLimit, &fault);
    if (!out) {
        if (fault == kDeltaOp || fault == kDeltaEnd) abort();
        return 0;
    }
    if (fault != kDeltaEnd || out->size() > kLimit) abort();
    if (ApplyDeltaInMemory(base, commands, literals, out->size()) != out) abort();
    if (!out->empty()) {
        ApplyDeltaInMemory(base, commands, literals, out->size() - 1, &fault);
        if (fault != kDeltaOutputTooLong) abort();
    }
    return 0;
}
