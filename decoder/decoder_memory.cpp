#include "decoder/decoder_memory.h"

#include <cstdlib>

namespace {
int allocations_until_failure = -1;
}

void* DecoderAllocZeroed(size_t size) {
    if (allocations_until_failure == 0) return nullptr;
    if (allocations_until_failure > 0) --allocations_until_failure;
    return std::calloc(size, 1);
}

void DecoderFree(void* block) { std::free(block); }

void FailDecoderAllocationAfter(int successes) { allocations_until_failure = successes; }
