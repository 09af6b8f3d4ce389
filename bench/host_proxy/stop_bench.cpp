// Stopping a call stuck in the library's host while the host's process
// lingers after its end, as one does whose thread waits on a wedged card
// reader: how long EndHost takes, until the stuck conversion is back, until
// the next call has its answer from a fresh host, and how long CloseWithin
// takes with a conversion stuck; each against one round trip of a presence
// check in the same run. A wrapper plays the lingering: its End only aborts
// the channel, and the real host stays until its binding goes. Runs under
// Wine (or Windows) with KROLib.dll and KroLibHost64.exe beside it and the
// card named by the simulator's KROSIM_CARD:
//   stop_bench [ROUNDS]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "device/module_loader.h"
#include "host_proxy/hosted_library.h"
#include "host_proxy/library_host_process.h"

namespace {

using Clock = std::chrono::steady_clock;

class LingeringHost final : public kro::LibraryHostProcess {
public:
    explicit LingeringHost(std::unique_ptr<kro::LibraryHostProcess> real) : real_(std::move(real)) {}
    kro::LibraryChannel& Channel() override { return real_->Channel(); }
    void End() override { real_->Channel().Abort(); }
    bool WaitForEnd(std::chrono::milliseconds) override { return false; }
    std::optional<std::uint32_t> ExitCode() override { return std::nullopt; }

private:
    std::unique_ptr<kro::LibraryHostProcess> real_;
};

class LingeringLauncher final : public kro::LibraryHostLauncher {
public:
    std::unique_ptr<kro::LibraryHostProcess> Start(kro::HostArchitecture architecture) override {
        auto real = kro::SystemLibraryHostLauncher().Start(architecture);
        if (!real) return nullptr;
        return std::make_unique<LingeringHost>(std::move(real));
    }
};

class Quiet final : public kro::TextSink {
public:
    void Write(std::string_view) override {}
};

double Ms(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

// A conversion on a thread of its own, hung in the library (the simulator's
// hang=avi); the call before it has the host up.
std::future<std::int32_t> StuckConversion(const kro::KroLibrary& library) {
    library.GetFileCount(0);
    auto conversion = std::async(std::launch::async, [&library] { return library.MakeAviFile("E0"); });
    Sleep(300);
    return conversion;
}

void Print(const char* what, std::vector<double>& times, double roundTripMs) {
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    std::printf("%-38s: median %8.3f ms, max %8.3f ms = %7.1f round trips\n", what, median, times.back(),
                median / roundTripMs);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    LingeringLauncher launcher;
    Quiet quiet;
    const std::string programFolder = kro::ExecutableFolder(kro::SystemModuleLoader());
    std::vector<double> trips, ends, backs, nexts, closes;
    int wrong = 0;
    SetEnvironmentVariableW(L"KROSIM_FAULTS", L"hang=avi");
    for (int round = 0; round < rounds; ++round) {
        // A binding per round: each keeps its lingering hosts until it goes.
        kro::HostedLibrary library(launcher, programFolder, quiet);
        if (!library.Load("")) {
            ++wrong;
            continue;
        }
        std::uint8_t value = 0;
        library.CheckDevice(&value);
        auto start = Clock::now();
        library.CheckDevice(&value);
        trips.push_back(Ms(Clock::now() - start));

        auto conversion = StuckConversion(library);
        start = Clock::now();
        library.EndHost();
        ends.push_back(Ms(Clock::now() - start));
        const bool back = conversion.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
        backs.push_back(Ms(Clock::now() - start));
        if (!back || conversion.get() != 0) ++wrong;
        start = Clock::now();
        library.GetFileCount(0);
        nexts.push_back(Ms(Clock::now() - start));
        if (kro::KroLibrary::LastCallFailure() != kro::CallFailure::None) ++wrong;

        auto closed = StuckConversion(library);
        start = Clock::now();
        if (!library.CloseWithin(std::chrono::seconds(2))) ++wrong;
        closes.push_back(Ms(Clock::now() - start));
        closed.wait();
    }
    SetEnvironmentVariableW(L"KROSIM_FAULTS", nullptr);
    if (trips.empty()) {
        std::printf("no host could be had\n");
        return 1;
    }
    std::sort(trips.begin(), trips.end());
    const double roundTripMs = trips[trips.size() / 2];
    std::printf("-- a stop with a host whose process lingers, %d rounds\n", rounds);
    std::printf("%-38s: median %8.3f ms\n", "presence check, one round trip", roundTripMs);
    Print("EndHost returns", ends, roundTripMs);
    Print("the stuck conversion is back", backs, roundTripMs);
    Print("the next call answered (fresh host)", nexts, roundTripMs);
    Print("CloseWithin(2 s), a conversion stuck", closes, roundTripMs);
    if (wrong != 0) std::printf("%d rounds went wrong\n", wrong);
    return wrong == 0 ? 0 : 1;
}
