#include <time.h>

#include <chrono>
#include <thread>

#include "device/clock.h"

namespace kro {
namespace {

class PosixClock final : public Clock {
public:
    LocalTime Now() override {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        tm local{};
        localtime_r(&now.tv_sec, &local);
        LocalTime result;
        result.year = static_cast<std::uint16_t>(local.tm_year + 1900);
        result.month = static_cast<std::uint16_t>(local.tm_mon + 1);
        result.dayOfWeek = static_cast<std::uint16_t>(local.tm_wday);
        result.day = static_cast<std::uint16_t>(local.tm_mday);
        result.hour = static_cast<std::uint16_t>(local.tm_hour);
        result.minute = static_cast<std::uint16_t>(local.tm_min);
        // A leap second (60) is folded into 59, as Windows never reports it.
        result.second = static_cast<std::uint16_t>(local.tm_sec > 59 ? 59 : local.tm_sec);
        result.milliseconds = static_cast<std::uint16_t>(now.tv_nsec / 1000000);
        return result;
    }

    void Sleep(std::uint32_t milliseconds) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
};

}  // namespace

Clock& SystemClock() {
    static PosixClock clock;
    return clock;
}

}  // namespace kro
