// A probe that asks a window for a harmless answer (WM_NULL through
// SendMessageTimeout) every 10 ms from a thread of its own, and records how
// long each answer took: what a user feels as a frozen window.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "bench/program/remote_program.h"

namespace kro::bench {

struct LatencySummary {
    std::size_t answers = 0;
    std::size_t unanswered = 0;  // no answer within the probe's 5 s limit
    std::size_t over100 = 0;     // answers that took longer than 100 ms
    double p50 = 0;
    double p99 = 0;
    double max = 0;
};

class LatencyProbe {
public:
    explicit LatencyProbe(HWND window);
    ~LatencyProbe();
    LatencyProbe(const LatencyProbe&) = delete;
    LatencyProbe& operator=(const LatencyProbe&) = delete;

    // Ends the probing and summarises what was recorded.
    LatencySummary Finish();
    // After Finish: the probes sent from `fromMs` to `toMs` after the start.
    LatencySummary Between(double fromMs, double toMs) const;

private:
    void Run();

    HWND window_;
    std::atomic<bool> stop_{false};
    Clock::time_point start_ = Clock::now();
    std::vector<double> latencies_;
    std::vector<double> sentAt_;  // milliseconds after start_, one per latency
    std::size_t unanswered_ = 0;
    std::thread thread_;
};

// "label: N answers, p50 X ms, p99 Y ms, max Z ms".
void PrintLatency(const char* label, const LatencySummary& summary);

}  // namespace kro::bench
