#include <windows.h>

#include <cstring>

#include "device/clock.h"

namespace kro {
namespace {

static_assert(sizeof(SYSTEMTIME) == sizeof(LocalTime));
static_assert(offsetof(SYSTEMTIME, wSecond) == offsetof(LocalTime, second));
static_assert(offsetof(SYSTEMTIME, wMilliseconds) == offsetof(LocalTime, milliseconds));

class Win32Clock final : public Clock {
public:
    LocalTime Now() override {
        SYSTEMTIME now;
        GetLocalTime(&now);
        LocalTime result;
        std::memcpy(&result, &now, sizeof result);
        return result;
    }

    void Sleep(std::uint32_t milliseconds) override { ::Sleep(milliseconds); }
};

}  // namespace

Clock& SystemClock() {
    static Win32Clock clock;
    return clock;
}

}  // namespace kro
