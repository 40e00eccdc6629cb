#pragma once
// A loop over indices for the steps of a livery scan that run in parts (merging the tasks' results,
// sorting, formatting LiveriesScanned.xml): the parts run on the scans' kept threads and the caller's.
// A thread made for each step would cost more than most parts take.

#include "core/scan_tasks.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

// Calls fn(i) for every i in [0, count), on up to `threads` threads (the caller's among them). Returns
// once every call has ended; a helper that starts later finds nothing left and touches nothing of the
// caller's. The first exception stops the loop (the indices not started yet are passed over) and is
// rethrown.
inline void lf_forEachOnScanThreads(std::size_t count, std::size_t threads,
                                    const std::function<void(std::size_t)>& fn) {
    if (count == 0) return;
    struct Loop {
        std::atomic<std::size_t> next{0};
        std::atomic<std::size_t> done{0};
        std::atomic<bool> failed{false};
        std::size_t count = 0;
        const std::function<void(std::size_t)>* fn = nullptr;
        std::exception_ptr failure;
        std::mutex mutex;
        std::condition_variable finished;

        void work() {
            for (std::size_t i = next++; i < count; i = next++) {
                if (!failed.load(std::memory_order_relaxed)) {
                    try {
                        (*fn)(i);
                    } catch (...) {
                        std::lock_guard lock(mutex);
                        if (!failure) failure = std::current_exception();
                        failed = true;
                    }
                }
                if (done.fetch_add(1) + 1 == count) {
                    std::lock_guard lock(mutex);
                    finished.notify_all();
                }
            }
        }
    };
    const auto loop = std::make_shared<Loop>();
    loop->count = count;
    loop->fn = &fn;
    const std::size_t helpers = std::min(count, std::max<std::size_t>(1, threads)) - 1;
    for (std::size_t t = 0; t < helpers; ++t) {
        try {
            gf_postScanTask([loop] { loop->work(); });
        } catch (...) {
            break; // fewer threads: slower, not different
        }
    }
    loop->work();
    std::exception_ptr failure;
    {
        std::unique_lock lock(loop->mutex);
        loop->finished.wait(lock, [&] { return loop->done.load() == count; });
        failure = loop->failure;
    }
    if (failure) std::rethrow_exception(failure);
}
