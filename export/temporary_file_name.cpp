#include "export/temporary_file_name.h"

#include <atomic>

#include "device/kro_api.h"

namespace kro {
namespace {

// The shortest name holds one digit per number.
static_assert(kTemporaryFilePrefix.size() + 1 + 1 + 1 + kTemporaryFileSuffix.size() >
                  sizeof(RecordingEntry{}.name),
              "a temporary file's name must not be a possible recording name");

// A decimal number as TemporaryFileName writes it: no sign, no leading zero,
// at most 32 bits.
std::optional<std::uint32_t> ParseNumber(std::string_view digits) {
    if (digits.empty() || digits.size() > 10 || (digits.size() > 1 && digits[0] == '0')) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (value > UINT32_MAX) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

}  // namespace

std::string TemporaryFileName(std::uint32_t processId, std::uint32_t counter) {
    std::string name(kTemporaryFilePrefix);
    name.append(std::to_string(processId)).append("-").append(std::to_string(counter));
    return name.append(kTemporaryFileSuffix);
}

std::optional<std::uint32_t> TemporaryFileProcess(std::string_view name) {
    if (!name.starts_with(kTemporaryFilePrefix) || !name.ends_with(kTemporaryFileSuffix)) return std::nullopt;
    name.remove_prefix(kTemporaryFilePrefix.size());
    name.remove_suffix(kTemporaryFileSuffix.size());
    const std::size_t dash = name.find('-');
    if (dash == std::string_view::npos) return std::nullopt;
    const std::optional<std::uint32_t> process = ParseNumber(name.substr(0, dash));
    if (!process || !ParseNumber(name.substr(dash + 1))) return std::nullopt;
    return process;
}

std::uint32_t NextTemporaryFileCounter() {
    static std::atomic<std::uint32_t> counter{0};
    return counter.fetch_add(1, std::memory_order_relaxed) + 1;
}

}  // namespace kro
