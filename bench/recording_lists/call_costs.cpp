#include "bench/recording_lists/call_costs.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "device/in_process_library.h"
#include "device/kro_api.h"
#include "device/module_loader.h"

namespace kro::bench {
namespace {

using Clock = std::chrono::steady_clock;

// A library whose every export returns at once, to weigh the binding itself.
KroHandle EmptyCreate() {
    return 1;
}
std::int32_t EmptyCall() {
    return 0;
}
std::int32_t EmptyGetFileCount(KroHandle, std::uint8_t category) {
    return category;
}
class EmptyLoader final : public ModuleLoader {
public:
    Module Load(const std::string&) override { return this; }
    void* Symbol(Module, const char* name) override {
        if (std::strcmp(name, "KRO_Create") == 0) return reinterpret_cast<void*>(&EmptyCreate);
        if (std::strcmp(name, "KRO_Get_File_Cnt") == 0) return reinterpret_cast<void*>(&EmptyGetFileCount);
        return reinterpret_cast<void*>(&EmptyCall);
    }
    void Free(Module) override {}
    // Any path will do: Load answers every one.
    std::string ExecutablePath() override { return "C:\\test\\program.exe"; }
};

}  // namespace

std::pair<double, double> BindingCostPerCall() {
    EmptyLoader loader;
    InProcessLibrary empty{loader};
    empty.Load("");
    constexpr int kCalls = 1000000;
    volatile KroGetFileCountFn direct = &EmptyGetFileCount;
    double bound = 1e30, straight = 1e30;
    for (int run = 0; run < 5; ++run) {
        std::int64_t sum = 0;
        auto start = Clock::now();
        for (int i = 0; i < kCalls; ++i) sum += empty.GetFileCount(static_cast<std::uint8_t>(i));
        bound =
            std::min(bound, std::chrono::duration<double, std::nano>(Clock::now() - start).count() / kCalls);
        start = Clock::now();
        for (int i = 0; i < kCalls; ++i) sum += direct(1, static_cast<std::uint8_t>(i));
        straight = std::min(straight,
                            std::chrono::duration<double, std::nano>(Clock::now() - start).count() / kCalls);
        if (sum == 42) std::printf(" ");
    }
    return {bound, straight};
}

double Quantile(const std::vector<double>& sorted, double q) {
    if (sorted.empty()) return 0;
    return sorted[std::min(sorted.size() - 1,
                           static_cast<std::size_t>(q * static_cast<double>(sorted.size())))];
}

void PrintCallTimes(const char* label, const CallTimes& times) {
    const double in50 = Quantile(times.inProcess, 0.5), in99 = Quantile(times.inProcess, 0.99);
    const double host50 = Quantile(times.hosted, 0.5), host99 = Quantile(times.hosted, 0.99);
    std::printf("%-29s: in-process p50 %7.1f us, p99 %7.1f us; hosted p50 %7.1f us, p99 %7.1f us\n", label,
                in50, in99, host50, host99);
    std::printf(
        "%-29s  hosted/in-process p50 %.1f, p99 %.1f; the host adds %.1f us at p50 (%zu calls each)\n", "",
        host50 / in50, host99 / in99, host50 - in50, times.hosted.size());
}

}  // namespace kro::bench
