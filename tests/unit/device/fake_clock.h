// A clock the test drives. Now() returns the time the test set; with
// AdvanceEachReading the seconds move on by one after every reading. Sleeps
// of the poller's step length (1000 ms) can be held until the test lets one
// pass; every other sleep (the bounded waits' 100 ms checks) lasts a short,
// settable real time, 1 ms unless changed.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "device/clock.h"
#include "device/thread_priority.h"

namespace kro::test {

class FakeClock final : public Clock {
public:
    static constexpr std::uint32_t kStepSleep = 1000;

    LocalTime Now() override {
        std::lock_guard lock(mutex_);
        const LocalTime now = time_;
        if (advance_) time_.second = static_cast<std::uint16_t>((time_.second + 1) % 60);
        return now;
    }

    void Sleep(std::uint32_t milliseconds) override {
        std::unique_lock lock(mutex_);
        sleeps_.push_back(milliseconds);
        changed_.notify_all();
        if (milliseconds == kStepSleep && holdSteps_) {
            changed_.wait(lock, [this] { return permits_ > 0 || !holdSteps_; });
            if (permits_ > 0) --permits_;
            return;
        }
        const auto real = std::chrono::milliseconds(milliseconds == kStepSleep ? 1 : waitMilliseconds_);
        lock.unlock();
        std::this_thread::sleep_for(real);
    }

    void SetSecond(std::uint16_t second) {
        std::lock_guard lock(mutex_);
        time_.second = second;
    }

    void SetTime(const LocalTime& time) {
        std::lock_guard lock(mutex_);
        time_ = time;
    }

    void AdvanceEachReading(bool advance) {
        std::lock_guard lock(mutex_);
        advance_ = advance;
    }

    // Real length of each sleep other than a step sleep.
    void SetWaitMilliseconds(int milliseconds) {
        std::lock_guard lock(mutex_);
        waitMilliseconds_ = milliseconds;
    }

    // While held, each step sleep waits for LetOneStepPass.
    void HoldSteps(bool hold) {
        std::lock_guard lock(mutex_);
        holdSteps_ = hold;
        changed_.notify_all();
    }

    void LetOneStepPass() {
        std::lock_guard lock(mutex_);
        ++permits_;
        changed_.notify_all();
    }

    int SleepCount(std::uint32_t milliseconds) {
        std::lock_guard lock(mutex_);
        int count = 0;
        for (const auto sleep : sleeps_) count += sleep == milliseconds ? 1 : 0;
        return count;
    }

    // Waits until count sleeps of that length have begun; false after 30 s
    // (a guard against a hanging test).
    bool WaitForSleeps(std::uint32_t milliseconds, int count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(30), [&] {
            int seen = 0;
            for (const auto sleep : sleeps_) seen += sleep == milliseconds ? 1 : 0;
            return seen >= count;
        });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    LocalTime time_{2024, 5, 3, 17, 9, 30, 5, 0};
    bool advance_ = false;
    bool holdSteps_ = false;
    int permits_ = 0;
    int waitMilliseconds_ = 1;
    std::vector<std::uint32_t> sleeps_;
};

// Records the raises instead of changing the thread's priority: the count,
// and whether every raise came from a thread other than the one that made
// this object (the thread body's, not the owner's).
class FakeThreadPriority final : public ThreadPriority {
public:
    void RaiseCurrentThread() override {
        if (std::this_thread::get_id() == owner_) raisedOnOwner = true;
        ++raises;
    }

    std::atomic<int> raises{0};
    std::atomic<bool> raisedOnOwner{false};

private:
    const std::thread::id owner_ = std::this_thread::get_id();
};

}  // namespace kro::test
