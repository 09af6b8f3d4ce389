// What single library calls cost: the binding's own share against a library
// of empty functions, and one call timed through two bindings in turn (the
// in-process one and the library's host).
#pragma once

#include <algorithm>
#include <chrono>
#include <utility>
#include <vector>

#include "device/kro_library.h"

namespace kro::bench {

// Nanoseconds per call: through the binding, and straight to the export.
std::pair<double, double> BindingCostPerCall();

// The value at quantile q of sorted values.
double Quantile(const std::vector<double>& sorted, double q);

// One call through both bindings in turn, `calls` times, so that the machine's
// ups and downs fall on both alike. Sorted microseconds per call of each; a
// hosted call that did not have the library's answer, or answered otherwise
// than in-process, counts in `wrong`.
struct CallTimes {
    std::vector<double> inProcess, hosted;
    int wrong = 0;
};
template <typename Call>
CallTimes TimeCalls(const KroLibrary& inProcess, const KroLibrary& hosted, int calls, Call call) {
    using Clock = std::chrono::steady_clock;
    const auto microseconds = [](Clock::duration d) {
        return std::chrono::duration<double, std::micro>(d).count();
    };
    CallTimes times;
    for (int i = 0; i < calls; ++i) {
        auto start = Clock::now();
        const auto expected = call(inProcess, i);
        times.inProcess.push_back(microseconds(Clock::now() - start));
        start = Clock::now();
        const auto answer = call(hosted, i);
        times.hosted.push_back(microseconds(Clock::now() - start));
        if (answer != expected || KroLibrary::LastCallFailure() != CallFailure::None) ++times.wrong;
    }
    std::sort(times.inProcess.begin(), times.inProcess.end());
    std::sort(times.hosted.begin(), times.hosted.end());
    return times;
}

void PrintCallTimes(const char* label, const CallTimes& times);

}  // namespace kro::bench
