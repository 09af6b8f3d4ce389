#include "cli/device_session.h"

#include <algorithm>

#include "device/device_access.h"
#include "device/in_process_library.h"
#include "host_proxy/hosted_library.h"

namespace kro::cli {
namespace {

constexpr std::uint32_t kSleepSlice = 50;
// The give-way question is asked once in this many slices: once a second.
constexpr int kGiveWaySlices = 20;

}  // namespace

void StoppableClock::Sleep(std::uint32_t milliseconds) {
    if (std::this_thread::get_id() == owner_) {
        inner_.Sleep(milliseconds);
        return;
    }
    while (milliseconds > 0 && !stop_.load()) {
        const std::uint32_t slice = std::min(milliseconds, kSleepSlice);
        inner_.Sleep(slice);
        milliseconds -= slice;
    }
}

void DeviceSession::LibraryDiagnostics::Write(std::string_view text) {
    const std::lock_guard lock(mutex_);
    if (!stop_.load()) console_.Err(text);
}

DeviceSession::State::State(CliEnvironment& environment)
    : clock(environment.clock, environment.stop),
      diagnostics(environment.console, environment.stop),
      library(environment.hosts != nullptr
                  ? std::unique_ptr<KroLibrary>(std::make_unique<HostedLibrary>(
                        *environment.hosts, ExecutableFolder(environment.loader), diagnostics))
                  : std::make_unique<InProcessLibrary>(environment.loader)),
      poller(clock, environment.priority) {}

void DeviceSession::WatchForStop(State& state, const std::atomic<bool>& stop) {
    std::unique_lock lock(state.closingMutex);
    auto endAt = std::chrono::steady_clock::time_point::max();
    while (!state.closing) {
        // The stop flag has no signal of its own: it is looked at twice a
        // second, which the grace after it dwarfs.
        state.closingChanged.wait_for(lock, std::chrono::milliseconds(500));
        const auto now = std::chrono::steady_clock::now();
        if (!stop.load() || state.closing) continue;
        if (endAt == std::chrono::steady_clock::time_point::max()) endAt = now + kStopGrace;
        if (now >= endAt) {
            static_cast<void>(state.library->EndHost());
            endAt = now + kStopGrace;
        }
    }
}

DeviceSession::DeviceSession(CliEnvironment& environment) : environment_(environment) {}

DeviceSession::~DeviceSession() {
    Release();
}

void DeviceSession::Release() {
    if (state_ != nullptr && state_->stopWatch.joinable()) {
        {
            const std::lock_guard lock(state_->closingMutex);
            state_->closing = true;
        }
        state_->closingChanged.notify_all();
        state_->stopWatch.join();
    }
    if (state_ != nullptr && !EndDeviceAccess(state_->poller, *state_->library)) {
        // A thread is still inside the library, which therefore stays
        // loaded; the objects it uses are left to the process's end.
        static_cast<void>(state_.release());
    }
    state_.reset();
}

bool DeviceSession::Open() {
    Release();
    state_ = std::make_unique<State>(environment_);
    if (!state_->library->Load("")) return false;
    // In-process a call cannot be had back; through a host it can.
    if (state_->library->IsHosted())
        state_->stopWatch = std::thread(&DeviceSession::WatchForStop, std::ref(*state_), std::cref(environment_.stop));
    return state_->poller.StartPolling(*state_->library, &DeviceSession::OnCardReport, state_.get());
}

void DeviceSession::OnCardReport(const LocalTime*, std::uint8_t deviceValue, void* userData) {
    auto* state = static_cast<State*>(userData);
    state->deviceValue.store(deviceValue);
    state->reported.store(true);
}

CardWait DeviceSession::WaitForCard(bool present, std::chrono::milliseconds limit,
                                    const std::function<bool()>& giveWay) const {
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + limit;
    const auto reportDeadline = start + std::max(limit, kFirstReportLimit);
    for (int slice = 0; !environment_.stop.load(); ++slice) {
        if (giveWay && slice % kGiveWaySlices == 0 && giveWay()) return CardWait::GaveWay;
        const bool reported = state_->reported.load();
        if (reported && (DeviceValue() != 0) == present) return CardWait::Reached;
        const auto now = std::chrono::steady_clock::now();
        if (now >= (reported ? deadline : reportDeadline)) return CardWait::TimedOut;
        environment_.clock.Sleep(kSleepSlice);
    }
    return CardWait::Stopped;
}

}  // namespace kro::cli
