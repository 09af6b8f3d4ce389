#include "cli/card_load.h"

#include <algorithm>

#include "device/card_drive.h"

namespace kro::cli {
namespace {

class CollectingSink final : public RecordingListSink {
public:
    explicit CollectingSink(CardContents& contents) : contents_(contents) {}
    void AddRow(RecordingRow row) override { contents_.rows.push_back(std::move(row)); }
    void ShowSummary(CategorySummary summary) override { contents_.summaries.push_back(std::move(summary)); }

private:
    CardContents& contents_;
};

// Discovery writes diagnostic lines about each disk; the twin keeps its
// output to what it was asked for.
class DiscardSink final : public TextSink {
public:
    void Write(std::string_view) override {}
};

}  // namespace

CardContents LoadCard(const KroLibrary& library, const std::atomic<bool>& stop) {
    CardContents contents;
    CollectingSink sink(contents);
    contents.outcome = LoadRecordingLists(library, sink, stop);
    return contents;
}

std::string CardFoundLine(std::uint8_t deviceValue, DiskQueries& disks) {
    DiscardSink discard;
    const std::string drive = FindCardDrive(static_cast<std::int8_t>(deviceValue), disks, discard);
    std::string line = "Card found: disk " + std::to_string(deviceValue);
    if (!drive.empty()) line += ", drive " + drive;
    return line + ".\n";
}

std::string DisplayName(const std::string& utf8Name) {
    if (utf8Name.empty()) return "(no name)";
    std::string shown = utf8Name;
    std::replace_if(
        shown.begin(), shown.end(),
        [](char c) { return static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) == 0x7F; },
        '?');
    return shown;
}

}  // namespace kro::cli
