// Formatting of package texts that carry a directive for one argument. The
// texts come from the setup file, so they are never handed to a printf-style
// function: a stray %n or a second directive there would read or write
// memory the caller never gave. These formatters understand only the
// directive that matches the argument the caller has:
//   - FormatWithString: %s, the argument text, inserted as it is.
//   - FormatWithNumber: %d, %i, %ld, %li (the value as a signed 32-bit
//     number, as a 32-bit argument would be read) and %u, %lu (unsigned).
// Only the first such directive takes the argument; later ones stay as they
// are written, since there is no second argument for them. %% becomes %
// everywhere. Every other % sequence (%x, %n, %5d, %s given a number, %d
// given a text, a lone % at the end) is copied unchanged.
//
// The result is always terminated when capacity is not 0 and never longer
// than capacity - 1 characters: a longer result is cut short. Both return
// the length written, without the terminator. A null format or text argument
// counts as the empty text.
#pragma once
#include <cstddef>
#include <cstdint>

size_t FormatWithString(char* out, size_t capacity, const char* format, const char* argument);
size_t FormatWithNumber(char* out, size_t capacity, const char* format, uint32_t value);
