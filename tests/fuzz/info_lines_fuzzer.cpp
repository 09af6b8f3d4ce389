// The info popup: a category code (any int), a name of any bytes, and the
// 392-byte index record as the device library fills it, raw (whole or in
// part). Checks the popup's shape: the rule, a header only for codes 0..3,
// the name line, and for every code but Photo's eight value lines that each
// fit their item.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_check.h"
#include "recording_lists/recording_info_lines.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const int code = input.ConsumeIntegral<int>();
    const std::string name = input.ConsumeRandomLengthString(64);
    const auto record = input.ConsumeBytes<std::uint8_t>(sizeof(RecordingIndexInfo));

    // The record starts zero-filled and the library writes what it writes.
    RecordingIndexInfo info{};
    if (!record.empty()) std::memcpy(&info, record.data(), record.size());

    const std::vector<std::string> lines = kro::BuildRecordingInfoLines(code, name, info);
    const bool known = code >= 0 && code < 4;
    const std::size_t valueLines = code == 3 ? 0 : 8;
    FUZZ_CHECK(lines.size() == 2 + (known ? 1 : 0) + valueLines);
    FUZZ_CHECK(lines[0] == std::string(51, '_'));
    const std::string& nameLine = lines[known ? 2 : 1];
    FUZZ_CHECK(nameLine == "Filename : " + name);
    for (std::size_t i = lines.size() - valueLines; i < lines.size(); ++i) {
        // Each value line fits its 64-byte buffer untruncated and ends in a
        // number (with the size lines' unit).
        FUZZ_CHECK(!lines[i].empty() && lines[i].size() < 63);
        const char last = lines[i].back();
        FUZZ_CHECK((last >= '0' && last <= '9') || last == 'M');
    }
    return 0;
}
