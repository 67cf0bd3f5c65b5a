// Finding a byte pattern in a file through a window of 32,768 bytes that
// moves on in steps of 16,384: consecutive windows overlap by a whole step,
// so any pattern of up to 16,384 bytes is found, also one that crosses a
// step. File patch entries write their data right after the pattern.
#pragma once
#include <cstdint>

constexpr uint32_t kPatternWindowSize = 32768;
constexpr uint32_t kPatternStep = kPatternWindowSize / 2;  // also the longest pattern
constexpr uint32_t kPatternNotFound = 0xFFFFFFFF;

// Reads up to n bytes from the file's current position into `into` and
// returns how many came (0 at the end or on failure).
using PatternRead = uint32_t (*)(void* file, uint8_t* into, uint32_t n);

// The file offset just after the first occurrence of pattern[0, length) in
// a file of file_size bytes read from its start through `read`, or
// kPatternNotFound: also for an empty pattern, one longer than a step, and
// a file that ends early. `window` holds kPatternWindowSize bytes.
uint32_t FindEndOfPattern(uint8_t* window, uint32_t file_size, const uint8_t* pattern, uint32_t length,
                          PatternRead read, void* file);
