// Seam: the local time and sleeping, for the poller and its bounded waits.
// The system implementation uses GetLocalTime/Sleep on Windows and the C
// library elsewhere; tests substitute a clock they drive themselves.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kro {

// The local time in the layout of the Windows SYSTEMTIME record (16 bytes),
// so the poller's callback receives what GetLocalTime fills.
struct LocalTime {
    std::uint16_t year;
    std::uint16_t month;      // 1..12
    std::uint16_t dayOfWeek;  // 0 = Sunday
    std::uint16_t day;
    std::uint16_t hour;
    std::uint16_t minute;
    std::uint16_t second;
    std::uint16_t milliseconds;
};
static_assert(sizeof(LocalTime) == 16);
static_assert(offsetof(LocalTime, year) == 0);
static_assert(offsetof(LocalTime, month) == 2);
static_assert(offsetof(LocalTime, dayOfWeek) == 4);
static_assert(offsetof(LocalTime, day) == 6);
static_assert(offsetof(LocalTime, hour) == 8);
static_assert(offsetof(LocalTime, minute) == 10);
static_assert(offsetof(LocalTime, second) == 12);
static_assert(offsetof(LocalTime, milliseconds) == 14);

class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalTime Now() = 0;
    // Suspends the calling thread; may be called from several threads at once.
    virtual void Sleep(std::uint32_t milliseconds) = 0;
};

// The platform's clock (one program-wide object).
Clock& SystemClock();

}  // namespace kro
