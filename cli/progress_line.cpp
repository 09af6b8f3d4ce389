#include "cli/progress_line.h"

#include <cstdio>

namespace kro::cli {
namespace {

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

std::string FormatDuration(std::chrono::seconds time) {
    const long long total = time.count() < 0 ? 0 : time.count();
    char text[32];
    if (total >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", total / 60, total % 60);
    }
    return text;
}

std::optional<std::chrono::seconds> EstimateRemaining(int done, int total,
                                                      std::chrono::milliseconds elapsed) {
    if (done <= 0 || total < done || elapsed.count() < 0) return std::nullopt;
    const long long leftMs = elapsed.count() * (total - done) / done;
    return std::chrono::seconds((leftMs + 999) / 1000);
}

std::string FormatProgressLine(int current, int total, std::string_view name,
                               std::chrono::milliseconds elapsed,
                               std::optional<std::chrono::seconds> remaining) {
    // Appended piece by piece: GCC 12 at -O3 reports a false overlap for
    // a string literal + std::string chain here.
    std::string line = "[";
    line.append(std::to_string(current)).append("/").append(std::to_string(total)).append("] ");
    line.append(name).append("  ");
    line.append(FormatDuration(std::chrono::duration_cast<std::chrono::seconds>(elapsed)))
        .append(" elapsed, ");
    if (remaining) {
        line.append("about ").append(FormatDuration(*remaining)).append(" left");
    } else {
        line.append("estimating");
    }
    return line;
}

std::string ConsoleProgressText(std::string_view line, std::size_t& previousWidth) {
    std::string text = "\r";
    std::size_t width = 0;
    for (std::size_t i = 0; i < line.size();) {
        std::size_t length = 1;
        while (i + length < line.size() && IsContinuationByte(line[i + length])) ++length;
        if (width == kConsoleLineWidth) break;
        const char c = line[i];
        // A control character would move the cursor; it is shown as "?".
        if (length == 1 && (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)) {
            text += '?';
        } else {
            text.append(line.substr(i, length));
        }
        ++width;
        i += length;
    }
    if (previousWidth > width) text.append(previousWidth - width, ' ');
    previousWidth = width;
    return text;
}

}  // namespace kro::cli
