#include "builder/archive/parallel.h"

#include <atomic>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

unsigned BuildThreads() {
    if (const char* given = std::getenv("KILN_THREADS")) {
        int n = std::atoi(given);
        if (n > 0) return unsigned(n);
    }
    unsigned n = std::thread::hardware_concurrency();
    return n ? n : 1;
}

void ParallelFor(size_t count, unsigned threads, const std::function<void(size_t)>& work) {
    if (!threads) threads = BuildThreads();
    if (threads > count) threads = unsigned(count);
    std::atomic<size_t> next{0};
    std::mutex failure_lock;
    std::exception_ptr failure;
    size_t failed_at = count;
    auto run = [&] {
        for (size_t i; (i = next++) < count;) {
            try {
                work(i);
            } catch (...) {
                std::lock_guard<std::mutex> hold(failure_lock);
                if (i < failed_at) failed_at = i, failure = std::current_exception();
            }
        }
    };
    std::vector<std::thread> helpers;
    for (unsigned t = 1; t < threads; ++t) helpers.emplace_back(run);
    run();
    for (std::thread& t : helpers) t.join();
    if (failure) std::rethrow_exception(failure);
}
