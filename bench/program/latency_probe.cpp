#include "bench/program/latency_probe.h"

#include "bench/program/remote_program.h"

namespace kro::bench {
namespace {

constexpr double kPeriodMs = 10;
constexpr UINT kAnswerLimitMs = 5000;

}  // namespace

LatencyProbe::LatencyProbe(HWND window) : window_(window) {
    latencies_.reserve(1 << 16);
    thread_ = std::thread([this] { Run(); });
}

LatencyProbe::~LatencyProbe() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

void LatencyProbe::Run() {
    // Each probe starts 10 ms after the previous one started, or at once
    // when the answer took longer than that.
    auto next = Clock::now();
    while (!stop_) {
        const auto start = Clock::now();
        DWORD_PTR result = 0;
        const LRESULT answered =
            SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_NORMAL, kAnswerLimitMs, &result);
        if (answered != 0) {
            latencies_.push_back(MillisecondsSince(start));
        } else {
            ++unanswered_;
        }
        next += std::chrono::microseconds(static_cast<int>(kPeriodMs * 1000));
        const double wait = std::chrono::duration<double, std::milli>(next - Clock::now()).count();
        if (wait > 0) {
            Sleep(static_cast<DWORD>(wait));
        } else {
            next = Clock::now();
        }
    }
}

LatencySummary LatencyProbe::Finish() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    LatencySummary summary;
    summary.answers = latencies_.size();
    summary.unanswered = unanswered_;
    summary.p50 = Quantile(latencies_, 0.5);
    summary.p99 = Quantile(latencies_, 0.99);
    summary.max = Quantile(latencies_, 1.0);
    for (double latency : latencies_) summary.over100 += latency > 100 ? 1 : 0;
    if (unanswered_ > 0) summary.max = kAnswerLimitMs;
    return summary;
}

void PrintLatency(const char* label, const LatencySummary& summary) {
    std::printf("%-34s: %6zu answers, p50 %6.1f ms, p99 %6.1f ms, max %6.1f ms, %zu over 100 ms%s\n", label,
                summary.answers, summary.p50, summary.p99, summary.max, summary.over100,
                summary.unanswered ? " (some unanswered for 5 s)" : "");
}

}  // namespace kro::bench
