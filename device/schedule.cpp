#include "device/schedule.h"

namespace kro {

std::atomic<std::int32_t> lastPolledSecond{0};

namespace {

constexpr std::uint32_t kPollIntervalMilliseconds = 1000;

}  // namespace

CSchedule::CSchedule(Clock& clock, ThreadPriority& priority) : CThread(clock, priority) {}

// The thread's steps use this object's members: stop it before they go.
CSchedule::~CSchedule() {
    StopThread();
}

bool CSchedule::StartPolling(KroLibrary& kroLibrary, ScheduleCallback report, void* reportData) {
    // Changing the fields under a running poller would race with it.
    if (thread.load() != nullptr) return false;
    library = &kroLibrary;
    callback = report;
    userData = reportData;
    deviceValue = 0;
    return Start();
}

bool CSchedule::OnStep() {
    Poll();
    clock_.Sleep(kPollIntervalMilliseconds);
    return true;
}

void CSchedule::Poll() {
    const LocalTime now = clock_.Now();
    if (now.second != lastPolledSecond.load()) QueryDevice();
    lastPolledSecond = now.second;
    if (callback != nullptr) callback(&now, deviceValue.load(), userData);
}

void CSchedule::QueryDevice() {
    if (library == nullptr) return;
    // The library writes the byte only when it has an answer; otherwise the
    // previous value stays.
    std::uint8_t value = deviceValue.load();
    library->CheckDevice(&value);
    deviceValue = value;
}

}  // namespace kro
