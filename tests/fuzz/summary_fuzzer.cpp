// The summary line of a list and a row's size and duration texts, for any
// code, count, byte total and seconds (negative ones included). Checks that
// the code alone decides whether there is a line, that no text is cut short
// by its buffer, and that the size units follow the byte thresholds.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_check.h"
#include "recording_lists/category_summary.h"
#include "recording_lists/recording_texts.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const int code = input.ConsumeIntegral<int>();
    const auto count = input.ConsumeIntegral<std::int32_t>();
    const auto bytes = input.ConsumeIntegral<std::uint64_t>();
    const auto seconds = input.ConsumeIntegral<std::int32_t>();
    const auto rowBytes = input.ConsumeIntegral<std::uint32_t>();

    const auto line = kro::FormatCategorySummary(code, count, bytes, seconds);
    FUZZ_CHECK(line.has_value() == (code >= 0 && code <= 3));
    if (line) {
        const bool photo = code == 3;
        FUZZ_CHECK(line->rfind("file: ", 0) == 0);
        FUZZ_CHECK(std::strtoll(line->c_str() + 6, nullptr, 10) == count);
        // The buffers hold 96 and 128 bytes: a full one would mean a cut line.
        FUZZ_CHECK(line->size() < (photo ? 95u : 127u));
        const char unit = bytes > (1ull << 30)     ? 'G'
                          : bytes > (1ull << 20)   ? 'M'
                          : bytes > 1024 && !photo ? 'K'
                                                   : 'B';
        if (photo) {
            FUZZ_CHECK(line->back() == unit);
        } else {
            FUZZ_CHECK(line->find(std::string(1, unit) + ", ") != std::string::npos);
            FUZZ_CHECK(line->back() >= '0' && line->back() <= '9');
        }
    }

    const std::string sizeText = kro::FormatSizeText(rowBytes);
    const char sizeUnit = rowBytes > (1u << 20) ? 'M' : rowBytes > 1024 ? 'K' : 'B';
    FUZZ_CHECK(sizeText.size() >= 2 && sizeText.back() == sizeUnit);
    const std::string durationText = kro::FormatDurationText(seconds);
    FUZZ_CHECK(durationText == (seconds >= 0 && seconds < 10 ? "0" : "") + std::to_string(seconds) + "Sec");
    return 0;
}
