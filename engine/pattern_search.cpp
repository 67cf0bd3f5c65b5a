#include "engine/pattern_search.h"

#include <cstring>

namespace {

// The first of `positions` start positions in window at which the pattern
// lies, or `positions`.
uint32_t FirstMatch(const uint8_t* window, uint32_t positions, const uint8_t* pattern, uint32_t length) {
    for (uint32_t at = 0; at < positions;) {
        const void* first = std::memchr(window + at, pattern[0], positions - at);
        if (!first) break;
        at = uint32_t(static_cast<const uint8_t*>(first) - window);
        if (std::memcmp(window + at, pattern, length) == 0) return at;
        ++at;
    }
    return positions;
}

}  // namespace

uint32_t FindEndOfPattern(uint8_t* window, uint32_t file_size, const uint8_t* pattern, uint32_t length,
                          PatternRead read, void* file) {
    if (length == 0 || length > kPatternStep) return kPatternNotFound;
    uint32_t want = file_size < kPatternWindowSize ? file_size : kPatternWindowSize;
    uint32_t filled = read(file, window, want);
    // A file that delivers less than its size ends where it stops.
    uint32_t remaining = filled == want ? file_size - want : 0;
    uint32_t base = 0;
    for (;;) {
        // A full window with more to come: test the first half; every later
        // position is tested again from the next window.
        uint32_t positions = remaining ? kPatternStep : (filled >= length ? filled - length + 1 : 0);
        uint32_t at = FirstMatch(window, positions, pattern, length);
        if (at < positions) return base + at + length;
        if (!remaining) return kPatternNotFound;
        std::memmove(window, window + kPatternStep, kPatternStep);
        base += kPatternStep;
        want = remaining < kPatternStep ? remaining : kPatternStep;
        uint32_t got = read(file, window + kPatternStep, want);
        remaining = got == want ? remaining - want : 0;
        filled = kPatternStep + got;
    }
}
