#include "bench/program/latency_probe.h"

#include "bench/program/remote_program.h"

namespace kro::bench {
namespace {

constexpr double kPeriodMs = 10;
constexpr UINT kAnswerLimitMs = 5000;

}  // namespace

LatencyProbe::LatencyProbe(HWND window) : window_(window) {
    latencies_.reserve(1 << 16);
    sentAt_.reserve(1 << 16);
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
            sentAt_.push_back(std::chrono::duration<double, std::milli>(start - start_).count());
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
    LatencySummary summary = Between(0, 1e300);
    summary.unanswered = unanswered_;
    if (unanswered_ > 0) summary.max = kAnswerLimitMs;
    return summary;
}

LatencySummary LatencyProbe::Between(double fromMs, double toMs) const {
    std::vector<double> latencies;
    for (std::size_t i = 0; i < latencies_.size(); ++i) {
        if (sentAt_[i] >= fromMs && sentAt_[i] < toMs) latencies.push_back(latencies_[i]);
    }
    LatencySummary summary;
    summary.answers = latencies.size();
    summary.p50 = Quantile(latencies, 0.5);
    summary.p99 = Quantile(latencies, 0.99);
    summary.max = Quantile(latencies, 1.0);
    for (double latency : latencies) summary.over100 += latency > 100 ? 1 : 0;
    return summary;
}

void PrintLatency(const char* label, const LatencySummary& summary) {
    std::printf("%-34s: %6zu answers, p50 %6.1f ms, p99 %6.1f ms, max %6.1f ms, %zu over 100 ms%s\n", label,
                summary.answers, summary.p50, summary.p99, summary.max, summary.over100,
                summary.unanswered ? " (some unanswered for 5 s)" : "");
}

}  // namespace kro::bench
