#include "simulator/faults.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
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

// The bit's place in the rate tables; kHangCallKinds for no call.
int CallIndex(unsigned callBit) {
    for (int i = 0; i < kHangCallKinds; ++i)
        if (callBit == (1u << i)) return i;
    return kHangCallKinds;
}

// "CALL:N": the per mille N (default 100) for that call.
void ApplyRate(std::array<int, kHangCallKinds>& rates, std::string_view value) {
    const auto colon = value.find(':');
    const int index = CallIndex(HangCallBit(Trim(value.substr(0, colon))));
    if (index == kHangCallKinds) return;
    const std::string_view rate = colon == std::string_view::npos ? std::string_view() : Trim(value.substr(colon + 1));
    rates[index] = static_cast<int>(Number(rate, 100, 0, 1000));
}

// SplitMix64's finaliser: every bit of the input moves every bit of the output.
std::uint64_t Mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
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
    } else if (name == "random") {
        faults.randomSeed = static_cast<std::uint64_t>(Number(value, 0, 0, INT64_MAX));
    } else if (name == "crash-rate") {
        ApplyRate(faults.crashRate, value);
    } else if (name == "hang-rate") {
        ApplyRate(faults.hangRate, value);
    }
}

// At most this much of the file is read: switches are a line or two.
constexpr std::size_t kMaxFaultsFile = 4096;

std::string FaultsFileText() {
    const std::string path = EnvironmentValue(kFaultsFileVariable);
    if (path.empty()) return {};
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return {};
    std::string text(kMaxFaultsFile, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), file));
    std::fclose(file);
    // Line ends separate switches as commas do.
    std::replace(text.begin(), text.end(), '\n', ',');
    std::replace(text.begin(), text.end(), '\r', ',');
    return text;
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
    return ParseFaults(EnvironmentValue(kFaultsVariable) + "," + FaultsFileText());
}

bool Faults::HangsAtRandom(unsigned callBit) const {
    const int index = CallIndex(callBit);
    return index < kHangCallKinds && hangRate[index] > 0;
}

RandomFault DrawRandomFault(const Faults& faults, unsigned callBit, std::uint64_t draw) {
    const int index = CallIndex(callBit);
    if (index == kHangCallKinds) return RandomFault::None;
    const int crash = faults.crashRate[index], hang = faults.hangRate[index];
    if (crash == 0 && hang == 0) return RandomFault::None;
    const auto value = static_cast<int>(Mix(faults.randomSeed ^ Mix(draw * kHangCallKinds + index)) % 1000);
    if (value < crash) return RandomFault::Crash;
    return value < crash + hang ? RandomFault::Hang : RandomFault::None;
}

}  // namespace kro::sim
