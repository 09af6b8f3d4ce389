#include "recording_lists/recording_texts.h"

#include <cstdio>

namespace kro {
namespace {

constexpr std::uint32_t kKibibyte = 1024;
constexpr std::uint32_t kMebibyte = 1024 * 1024;

std::string Format(const char* format, int value) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

std::string FormatSizeText(std::uint32_t bytes) {
    // Shifted values stay below 2^22, so they fit an int; a byte count that
    // reaches this branch is at most 1024.
    if (bytes > kMebibyte) return Format("%dM", static_cast<int>(bytes >> 20));
    if (bytes > kKibibyte) return Format("%dK", static_cast<int>(bytes >> 10));
    return Format("%dB", static_cast<int>(bytes));
}

std::string FormatDurationText(std::int32_t seconds) {
    return Format("%02dSec", seconds);
}

}  // namespace kro
