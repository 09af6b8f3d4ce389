#include "recording_lists/category_summary.h"

#include <cstdio>

namespace kro {
namespace {

constexpr std::uint64_t kKibibyte = 1024;
constexpr std::uint64_t kMebibyte = 1024 * 1024;
constexpr std::uint64_t kGibibyte = 1024 * 1024 * 1024;
constexpr int kPhotoCode = 3;

struct Clock {
    int hours = 0;
    int minutes = 0;
};

// Whole minutes after adding 15 seconds, split into hours and minutes. The
// sum is taken in 64 bits so that no total overflows.
Clock ClockOf(std::int32_t seconds) {
    if (seconds == 0) return {};
    const std::int64_t totalMinutes = (static_cast<std::int64_t>(seconds) + 15) / 60;
    return {static_cast<int>(totalMinutes / 60), static_cast<int>(totalMinutes % 60)};
}

// The size as the line shows it: the quotient held in single precision.
double Scaled(std::uint64_t bytes, double divisor) {
    const float value = static_cast<float>(static_cast<double>(bytes) / divisor);
    return static_cast<double>(value);
}

std::string VideoLine(std::int32_t count, std::uint64_t bytes, std::int32_t seconds) {
    const Clock clock = ClockOf(seconds);
    char line[128];
    if (bytes > kGibibyte) {
        std::snprintf(line, sizeof line, "file: %04d, size: %0.2fG, time %02d:%02d", count,
                      Scaled(bytes, 1073741824.0), clock.hours, clock.minutes);
    } else if (bytes > kMebibyte) {
        std::snprintf(line, sizeof line, "file: %04d, size: %0.2fM, time %02d:%02d", count,
                      Scaled(bytes, 1048576.0), clock.hours, clock.minutes);
    } else if (bytes > kKibibyte) {
        std::snprintf(line, sizeof line, "file: %04d, size: %0.2fK, time %02d:%02d", count,
                      Scaled(bytes, 1024.0), clock.hours, clock.minutes);
    } else {
        std::snprintf(line, sizeof line, "file: %04d, size: %dB, %02d:%02d", count, static_cast<int>(bytes),
                      clock.hours, clock.minutes);
    }
    return line;
}

std::string PhotoLine(std::int32_t count, std::uint64_t bytes) {
    char line[96];
    if (bytes > kGibibyte) {
        std::snprintf(line, sizeof line, "file: %04d, size: %0.2fG", count, Scaled(bytes, 1073741824.0));
    } else if (bytes > kMebibyte) {
        std::snprintf(line, sizeof line, "file: %04d, size: %0.2fM", count, Scaled(bytes, 1048576.0));
    } else {
        std::snprintf(line, sizeof line, "file: %04d, size: %dB", count, static_cast<int>(bytes));
    }
    return line;
}

}  // namespace

std::optional<std::string> FormatCategorySummary(int code, std::int32_t count, std::uint64_t bytes,
                                                 std::int32_t seconds) {
    if (code < 0 || code > kPhotoCode) return std::nullopt;
    if (code == kPhotoCode) return PhotoLine(count, bytes);
    return VideoLine(count, bytes, seconds);
}

}  // namespace kro
