// The twin's device access: the library binding and the poller, started
// together and ended in the order that never unloads the library under a
// thread still inside it. The poller sleeps through a clock that wakes at a
// stop request, so Ctrl+C ends the program without waiting out its second.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>

#include "cli/cli_system.h"
#include "device/kro_library.h"
#include "device/schedule.h"

namespace kro::cli {

// A clock whose Sleep returns early once `stop` is raised, on every thread
// but the one that made it: there the owner's bounded waits for the poller
// sleep in full, or they would give up at once after a stop.
class StoppableClock final : public Clock {
public:
    StoppableClock(Clock& inner, const std::atomic<bool>& stop)
        : inner_(inner), stop_(stop), owner_(std::this_thread::get_id()) {}
    LocalTime Now() override { return inner_.Now(); }
    void Sleep(std::uint32_t milliseconds) override;

private:
    Clock& inner_;
    const std::atomic<bool>& stop_;
    const std::thread::id owner_;
};

// The poller reports at once and then every second; its first report may
// wait for the next wall-clock second.
inline constexpr std::chrono::milliseconds kFirstReportLimit{3000};

class DeviceSession {
public:
    explicit DeviceSession(CliEnvironment& environment);
    ~DeviceSession();
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;

    // Loads the library and starts the poller; false when either fails.
    bool Open();
    const KroLibrary& Library() const { return state_->library; }
    // The poller's latest device value: 0 without a card.
    std::uint8_t DeviceValue() const { return state_->deviceValue.load(); }
    // Waits until the card's presence is `present`, checking every 50 ms;
    // false when `limit` passed first or a stop was requested. Before the
    // poller's first report the card's presence is unknown, and the wait
    // lasts at least until that report (or kFirstReportLimit).
    bool WaitForCard(bool present, std::chrono::milliseconds limit) const;

private:
    struct State {
        explicit State(CliEnvironment& environment);
        StoppableClock clock;
        KroLibrary library;
        CSchedule poller;
        std::atomic<std::uint8_t> deviceValue{0};
        std::atomic<bool> reported{false};
    };
    static void OnCardReport(const LocalTime*, std::uint8_t deviceValue, void* userData);

    CliEnvironment& environment_;
    std::unique_ptr<State> state_;
};

}  // namespace kro::cli
