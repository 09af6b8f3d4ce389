// Bounded waits for tests: each gives up after a limit and says what it was
// waiting for, so a regression fails with a message instead of hanging.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <thread>

namespace kro::testing {

inline constexpr std::chrono::seconds kWaitLimit{30};

// Success when the future becomes ready within the limit.
template <typename T>
::testing::AssertionResult BecomesReady(const std::future<T>& future, const char* what,
                                        std::chrono::milliseconds limit = kWaitLimit) {
    if (future.wait_for(limit) == std::future_status::ready) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "gave up after " << limit.count() << " ms waiting for " << what;
}

// Success when the condition holds within the limit (checked every 1 ms).
inline ::testing::AssertionResult Eventually(const std::function<bool()>& condition, const char* what,
                                             std::chrono::milliseconds limit = kWaitLimit) {
    const auto giveUp = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > giveUp) {
            return ::testing::AssertionFailure()
                   << "gave up after " << limit.count() << " ms waiting for " << what;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return ::testing::AssertionSuccess();
}

}  // namespace kro::testing
