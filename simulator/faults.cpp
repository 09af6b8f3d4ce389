#include "simulator/faults.h"

#include <algorithm>
#include <charconv>
#include <string>

#include "device/kro_api.h"
#include "simulator/sim_platform.h"

namespace kro::sim {
namespace {

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// The switch's number, or the fallback when none (or no valid one) is given.
std::int64_t Number(std::string_view value, std::int64_t fallback, std::int64_t low, std::int64_t high) {
    if (value.empty()) return fallback;
    std::int64_t number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (error != std::errc() || end != value.data() + value.size()) return fallback;
    return std::clamp(number, low, high);
}

// Past the caller's buffer, at most this much is written: a caller's guard
// region must be able to hold it.
constexpr std::int64_t kMaxPictureOverrun = 4096;

unsigned HangCallBit(std::string_view call) {
    if (call == "check") return kHangCheck;
    if (call == "list") return kHangList;
    if (call == "info") return kHangInfo;
    if (call == "avi") return kHangAvi;
    if (call == "backup") return kHangBackup;
    if (call == "picture") return kHangPicture;
    return 0;
}

void Apply(Faults& faults, std::string_view name, std::string_view value) {
    constexpr std::int64_t kOneHour = 3600 * 1000;
    if (name == "slow") {
        faults.slowMilliseconds = static_cast<int>(Number(value, 100, 0, kOneHour));
    } else if (name == "overcount") {
        faults.listOvercount = static_cast<int>(Number(value, 16, 1, 1 << 24));
    } else if (name == "negative-count") {
        faults.listNegative = static_cast<int>(Number(value, 1, 1, 1 << 24));
    } else if (name == "unterminated") {
        faults.unterminatedNames = true;
    } else if (name == "hostile") {
        faults.hostileNames = true;
    } else if (name == "big-picture") {
        faults.pictureLength = Number(value, kPictureBufferSize + 1, kPictureBufferSize + 1, INT32_MAX);
    } else if (name == "create-fails") {
        faults.createFails = true;
    } else if (name == "convert-fails") {
        faults.conversionsFail = true;
    } else if (name == "flaky-card") {
        faults.cardPeriodMilliseconds = static_cast<int>(Number(value, 1000, 1, kOneHour));
    } else if (name == "reentrancy") {
        faults.reentrancy = true;
    } else if (name == "affinity") {
        faults.threadAffinity = true;
    } else if (name == "hang") {
        faults.hangCalls |= HangCallBit(value);
    } else if (name == "crash") {
        faults.crashCalls |= HangCallBit(value);
    } else if (name == "hang-until") {
        faults.hangUntilMilliseconds = Number(value, 0, 0, INT64_MAX);
    } else if (name == "overrun") {
        faults.pictureOverrun = static_cast<int>(Number(value, 64, 1, kMaxPictureOverrun));
    }
}

}  // namespace

Faults ParseFaults(std::string_view text) {
    Faults faults;
    while (!text.empty()) {
        const auto comma = text.find(',');
        const std::string_view item = Trim(text.substr(0, comma));
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        const auto equals = item.find('=');
        const std::string_view name = Trim(item.substr(0, equals));
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view() : Trim(item.substr(equals + 1));
        Apply(faults, name, value);
    }
    return faults;
}

Faults CurrentFaults() {
    return ParseFaults(EnvironmentValue(kFaultsVariable));
}

}  // namespace kro::sim
