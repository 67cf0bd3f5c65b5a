// Allocation for the install engine and the package loader: blocks on the
// process heap, retried once after compacting the heap. A second failure is
// reported to the caller, which falls back or ends its step with code 12.
#pragma once
#include <cstddef>

// Each stores the block (or none) in *block and reports whether it got one.
bool AllocRetry(void** block, size_t size);
bool AllocZeroedRetry(void** block, size_t size);

// Frees *block when it is set and clears it.
void FreeAndClear(void** block);

// For tests: after `successes` more heap requests succeed, the next
// `failures` requests fail (a retry is a request of its own), then
// requests succeed again. successes -1 turns failures off.
void FailAllocationsAfter(int successes, int failures);
