#pragma once
// A loop over indices shared by a few threads, for work that waits on files (reading, syncing,
// removing) where the threads overlap their waits.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

// Calls fn(i) for every i in [0, count), on up to `threads` threads (the caller's among them), at
// most one thread per `perThread` indices. The first exception stops the loop and is rethrown once
// every thread has ended.
template <typename Fn>
void gf_forEachOnThreads(std::size_t count, std::size_t threads, std::size_t perThread, Fn&& fn) {
    threads = std::clamp<std::size_t>((count + perThread - 1) / std::max<std::size_t>(1, perThread), 1,
                                      std::max<std::size_t>(1, threads));
    std::atomic<std::size_t> next{0};
    std::mutex failureMutex;
    std::exception_ptr failure;
    const auto work = [&] {
        try {
            for (std::size_t i = next++; i < count; i = next++)
                fn(i);
        } catch (...) {
            std::lock_guard lock(failureMutex);
            if (!failure) failure = std::current_exception();
            next = count;
        }
    };
    std::vector<std::thread> helpers;
    for (std::size_t t = 1; t < threads; ++t)
        helpers.emplace_back(work);
    work();
    for (std::thread& helper : helpers)
        helper.join();
    if (failure) std::rethrow_exception(failure);
}

// The processor's hardware thread count, at least 1.
inline std::size_t gf_hardwareThreads() {
    return std::max(1u, std::thread::hardware_concurrency());
}
