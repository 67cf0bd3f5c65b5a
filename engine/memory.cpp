#include "engine/memory.h"

#include <windows.h>

namespace {

int requests_until_failure = -1;
int failures_left = 0;

void* Request(DWORD flags, size_t size) {
    if (requests_until_failure == 0) {
        if (--failures_left <= 0) requests_until_failure = -1;
        return nullptr;
    }
    if (requests_until_failure > 0) --requests_until_failure;
    return HeapAlloc(GetProcessHeap(), flags, size);
}

bool AllocWithRetry(void** block, size_t size, DWORD flags) {
    *block = Request(flags, size);
    if (!*block) {
        // Compacting may free enough adjacent space; when it cannot, the
        // retry fails and the caller sees the failure.
        HeapCompact(GetProcessHeap(), 0);
        *block = Request(flags, size);
    }
    return *block != nullptr;
}

}  // namespace

bool AllocRetry(void** block, size_t size) { return AllocWithRetry(block, size, 0); }

bool AllocZeroedRetry(void** block, size_t size) { return AllocWithRetry(block, size, HEAP_ZERO_MEMORY); }

void FreeAndClear(void** block) {
    if (!*block) return;
    HeapFree(GetProcessHeap(), 0, *block);
    *block = nullptr;
}

void FailAllocationsAfter(int successes, int failures) {
    requests_until_failure = failures > 0 ? successes : -1;
    failures_left = failures;
}
