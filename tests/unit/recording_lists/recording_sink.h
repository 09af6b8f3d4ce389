// A RecordingListSink that keeps what a load delivers.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "recording_lists/recording_list_loader.h"

namespace kro::fake {

class RecordingSink final : public RecordingListSink {
public:
    void AddRow(RecordingRow row) override {
        rows.push_back(std::move(row));
        if (onRow) onRow(rows.back());
    }
    void ShowSummary(CategorySummary summary) override { summaries.push_back(std::move(summary)); }

    // Names of one list's rows, in row order.
    std::vector<std::string> Names(RecordingCategory category) const {
        std::vector<std::string> names;
        for (const RecordingRow& row : rows) {
            if (row.category == category) names.push_back(row.name);
        }
        return names;
    }

    std::vector<RecordingRow> rows;
    std::vector<CategorySummary> summaries;
    std::function<void(const RecordingRow&)> onRow;
};

}  // namespace kro::fake
