// The twin's device access: the library binding and the poller, started
// together and ended in the order that never unloads the library under a
// thread still inside it. The poller sleeps through a clock that wakes at a
// stop request, so Ctrl+C ends the program without waiting out its second.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>

#include "cli/cli_system.h"
#include "device/kro_library.h"
#include "device/schedule.h"
#include "device/text_sink.h"

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

// How long after a stop request a library call may go on: a call still
// running then (a long conversion, or one that never returns) is cut short
// by ending the library's host, so a stop takes a few seconds at most.
inline constexpr std::chrono::milliseconds kStopGrace{3000};

// How a wait for the card ended.
enum class CardWait {
    Reached,   // the card's presence is as asked
    TimedOut,  // the limit passed first
    Stopped,   // a stop was requested
    GaveWay,   // the wait's give-way question said yes
};

class DeviceSession {
public:
    explicit DeviceSession(CliEnvironment& environment);
    ~DeviceSession();
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;

    // Loads the library and starts the poller; false when either fails.
    // After Release it starts afresh.
    bool Open();
    // Ends the poller and closes the library (its host ends with it), so
    // that another program may have the card; Open takes it again. A thread
    // still inside the library leaves both to the process's end.
    void Release();
    // Only between a successful Open and the next Release.
    const KroLibrary& Library() const { return *state_->library; }
    // The poller's latest device value: 0 without a card.
    std::uint8_t DeviceValue() const { return state_->deviceValue.load(); }
    // Waits until the card's presence is `present`, checking every 50 ms.
    // Before the poller's first report the card's presence is unknown, and
    // the wait lasts at least until that report (or kFirstReportLimit).
    // `giveWay`, when given, is asked at once and then every second; the
    // wait ends when it says yes.
    CardWait WaitForCard(bool present, std::chrono::milliseconds limit,
                         const std::function<bool()>& giveWay = {}) const;

private:
    // The library's diagnostics (a call whose host crashed or hung) on
    // standard error, but none after a stop request: the stop ends the host
    // on purpose.
    class LibraryDiagnostics final : public TextSink {
    public:
        LibraryDiagnostics(CliConsole& console, const std::atomic<bool>& stop) : console_(console), stop_(stop) {}
        void Write(std::string_view text) override;

    private:
        CliConsole& console_;
        const std::atomic<bool>& stop_;
        std::mutex mutex_;
    };
    struct State {
        explicit State(CliEnvironment& environment);
        StoppableClock clock;
        LibraryDiagnostics diagnostics;
        // In its host for the program; in-process for tests without one.
        std::unique_ptr<KroLibrary> library;
        CSchedule poller;
        std::atomic<std::uint8_t> deviceValue{0};
        std::atomic<bool> reported{false};
        // Ends the host of a call that outlasts a stop request by kStopGrace.
        std::thread stopWatch;
        std::mutex closingMutex;
        std::condition_variable closingChanged;
        bool closing = false;
    };
    static void WatchForStop(State& state, const std::atomic<bool>& stop);
    static void OnCardReport(const LocalTime*, std::uint8_t deviceValue, void* userData);

    CliEnvironment& environment_;
    std::unique_ptr<State> state_;
};

}  // namespace kro::cli
