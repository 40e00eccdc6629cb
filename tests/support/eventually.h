#pragma once
// Waiting in tests for a condition that another thread or process makes true.

#include <chrono>
#include <functional>
#include <thread>

namespace testing_support {

// Polls `condition` until it holds; false when it did not hold within `limit`.
inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

} // namespace testing_support
