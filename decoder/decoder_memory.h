// The decoder's heap: its window and lookup tables. Tests can make the
// allocations fail to see that a decode ends cleanly with "no memory".
#pragma once
#include <cstddef>

void* DecoderAllocZeroed(size_t size);
void DecoderFree(void* block);
// The allocation after `successes` more successful ones fails; -1 turns this off.
void FailDecoderAllocationAfter(int successes);
