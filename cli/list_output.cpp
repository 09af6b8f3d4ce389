#include "cli/list_output.h"

#include <algorithm>
#include <cstdio>

#include "cli/cli_options.h"

namespace kro::cli {
namespace {

bool Wanted(const std::vector<RecordingCategory>& categories, RecordingCategory category) {
    return categories.empty() ||
           std::find(categories.begin(), categories.end(), category) != categories.end();
}

}  // namespace

std::string JsonString(std::string_view utf8) {
    std::string text = "\"";
    for (char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            text += '\\';
            text += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            text += escape;
        } else {
            text += c;
        }
    }
    return text + "\"";
}

std::string FormatListText(const CardContents& card, const std::vector<RecordingCategory>& categories,
                           const NameConverter& toUtf8) {
    std::string text;
    for (const RecordingRow& row : card.rows) {
        if (!Wanted(categories, row.category)) continue;
        text += std::string(CategoryWord(row.category)) + "\t" + DisplayName(toUtf8(row.name)) + "\t" +
                row.sizeText + "\t" + row.durationText.value_or("") + "\n";
    }
    for (const CategorySummary& summary : card.summaries) {
        if (!Wanted(categories, summary.category)) continue;
        text += std::string("summary\t") + CategoryWord(summary.category) + "\t" + summary.text + "\n";
    }
    return text;
}

std::string FormatListJson(const CardContents& card, const std::vector<RecordingCategory>& categories,
                           std::uint8_t disk, const NameConverter& toUtf8) {
    std::string text = "{\"disk\":" + std::to_string(disk) + ",\"recordings\":[";
    bool first = true;
    for (const RecordingRow& row : card.rows) {
        if (!Wanted(categories, row.category)) continue;
        text += first ? "" : ",";
        first = false;
        text += std::string("{\"list\":\"") + CategoryWord(row.category) +
                "\",\"name\":" + JsonString(toUtf8(row.name)) + ",\"bytes\":" + std::to_string(row.bytes);
        if (row.category != RecordingCategory::Photo) text += ",\"seconds\":" + std::to_string(row.seconds);
        text += "}";
    }
    text += "],\"summaries\":[";
    first = true;
    for (const CategorySummary& summary : card.summaries) {
        if (!Wanted(categories, summary.category)) continue;
        text += first ? "" : ",";
        first = false;
        text += std::string("{\"list\":\"") + CategoryWord(summary.category) +
                "\",\"count\":" + std::to_string(summary.totals.count) +
                ",\"bytes\":" + std::to_string(summary.totals.bytes);
        if (summary.category != RecordingCategory::Photo)
            text += ",\"seconds\":" + std::to_string(summary.totals.seconds);
        text += ",\"text\":" + JsonString(summary.text) + "}";
    }
    return text + "]}\n";
}

}  // namespace kro::cli
