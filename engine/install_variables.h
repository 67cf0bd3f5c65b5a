// Install variables: #Windows#, #System#, #Program Files#, #InstallDir#,
// #SourceDir# and #Date# in package texts, replaced by their values on the
// machine. Names ignore case; any other #name# yields nothing.
#pragma once
#include <cstdint>

// The work area an expansion is built in. An expansion is at most
// kWorkAreaSize - 1 bytes: a longer one is cut there, and the length
// returned is that of the cut text, so measuring and expanding always agree
// and a buffer of length + 1 bytes always holds the result.
constexpr uint32_t kWorkAreaSize = 65500;

// Expands input into output and returns the expansion's length (terminator
// not counted). With no output, or capacity 0, it only measures. Output
// longer than capacity - 1 bytes is cut there and terminated; the full
// length is still returned. Output may be the input buffer itself.
// When the work area cannot be allocated the input is copied unchanged
// (cut to capacity - 1) and its own length returned.
uint32_t ExpandInstallVariables(char* output, const char* input, uint32_t capacity);

// The expansion of text in a block of its own (free it with FreeAndClear),
// its length in *length. Null when the block cannot be had.
char* ExpandToNewBlock(const char* text, uint32_t* length);
