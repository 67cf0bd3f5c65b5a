// Work spread over the machine's cores. Each piece of work writes only its
// own results, so what a build produces never depends on how many threads
// ran it or in which order they finished.
#pragma once
#include <cstddef>
#include <functional>

// The threads a build uses: every core, or KILN_THREADS when it is set.
unsigned BuildThreads();

// Runs work(i) for every i in [0, count) on up to `threads` threads (0:
// BuildThreads()). If any call throws, the exception of the lowest such i
// is thrown here once all threads are done.
void ParallelFor(size_t count, unsigned threads, const std::function<void(size_t)>& work);
