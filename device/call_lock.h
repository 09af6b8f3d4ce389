// CallLock: a lock that can also be waited for with a time limit, built on a
// condition variable. It stands in for std::timed_mutex, whose POSIX
// implementation (pthread_mutex_timedlock) ThreadSanitizer does not follow,
// so the binding's lock would be reported as unlocked by a wrong thread.
// Meets the Lockable and TimedLockable requirements of std::unique_lock.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace kro {

class CallLock {
public:
    void lock() {
        std::unique_lock guard(mutex_);
        freed_.wait(guard, [this] { return !held_; });
        held_ = true;
    }

    bool try_lock() {
        const std::lock_guard guard(mutex_);
        if (held_) return false;
        held_ = true;
        return true;
    }

    template <typename Clock, typename Duration>
    bool try_lock_until(const std::chrono::time_point<Clock, Duration>& deadline) {
        std::unique_lock guard(mutex_);
        if (!freed_.wait_until(guard, deadline, [this] { return !held_; })) return false;
        held_ = true;
        return true;
    }

    template <typename Rep, typename Period>
    bool try_lock_for(const std::chrono::duration<Rep, Period>& wait) {
        return try_lock_until(std::chrono::steady_clock::now() + wait);
    }

    void unlock() {
        {
            const std::lock_guard guard(mutex_);
            held_ = false;
        }
        freed_.notify_one();
    }

private:
    std::mutex mutex_;
    std::condition_variable freed_;
    bool held_ = false;
};

}  // namespace kro
