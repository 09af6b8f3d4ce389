#include "cli/device_session.h"

#include <algorithm>

#include "device/device_access.h"

namespace kro::cli {
namespace {

constexpr std::uint32_t kSleepSlice = 50;

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

DeviceSession::State::State(CliEnvironment& environment)
    : clock(environment.clock, environment.stop),
      library(environment.hosts != nullptr
                  ? KroLibrary(*environment.hosts, ExecutableFolder(environment.loader), environment.trace)
                  : KroLibrary(environment.loader)),
      poller(clock, environment.priority) {}

DeviceSession::DeviceSession(CliEnvironment& environment)
    : environment_(environment), state_(std::make_unique<State>(environment)) {}

DeviceSession::~DeviceSession() {
    if (!EndDeviceAccess(state_->poller, state_->library)) {
        // A thread is still inside the library, which therefore stays
        // loaded; the objects it uses are left to the process's end.
        static_cast<void>(state_.release());
    }
}

bool DeviceSession::Open() {
    if (!state_->library.Load("")) return false;
    return state_->poller.StartPolling(state_->library, &DeviceSession::OnCardReport, state_.get());
}

void DeviceSession::OnCardReport(const LocalTime*, std::uint8_t deviceValue, void* userData) {
    auto* state = static_cast<State*>(userData);
    state->deviceValue.store(deviceValue);
    state->reported.store(true);
}

bool DeviceSession::WaitForCard(bool present, std::chrono::milliseconds limit) const {
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + limit;
    const auto reportDeadline = start + std::max(limit, kFirstReportLimit);
    while (!environment_.stop.load()) {
        const bool reported = state_->reported.load();
        if (reported && (DeviceValue() != 0) == present) return true;
        const auto now = std::chrono::steady_clock::now();
        if (now >= (reported ? deadline : reportDeadline)) return false;
        environment_.clock.Sleep(kSleepSlice);
    }
    return false;
}

}  // namespace kro::cli
