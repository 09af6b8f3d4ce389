// CSchedule: the device poller. Once per step it reads the local time, asks
// the device library whether the card is present (at most once per
// wall-clock second, program-wide), keeps the answer in deviceValue and hands
// it to the callback; then it sleeps one second. Only a stop request ends it.
#pragma once

#include <atomic>
#include <cstdint>

#include "device/clock.h"
#include "device/kro_library.h"
#include "device/thread.h"

namespace kro {

// The poller's report, called on the poller thread after every poll with the
// local time of the poll, the device value and the owner's user data.
using ScheduleCallback = void (*)(const LocalTime* time, std::uint8_t deviceValue, void* userData);

// Seconds field of the local time at the previous poll of any poller; 0 at
// program start.
extern std::atomic<std::int32_t> lastPolledSecond;

class CSchedule : public CThread {
public:
    CSchedule(Clock& clock, ThreadPriority& priority);
    ~CSchedule() override;

    // Stores the library (not owned; it must outlive the poller thread), the
    // callback (may be null) and the user data, clears deviceValue and starts
    // the thread. False, with nothing changed, while the poller runs.
    bool StartPolling(KroLibrary& kroLibrary, ScheduleCallback report, void* reportData);

protected:
    bool OnStep() override;
    void Poll();
    void QueryDevice();

    KroLibrary* library = nullptr;
    ScheduleCallback callback = nullptr;
    void* userData = nullptr;

public:
    // 0: no card; otherwise the card's physical disk number as the library
    // reports it. Written by the poller thread, read by the owner at any time.
    std::atomic<std::uint8_t> deviceValue{0};
};

}  // namespace kro
