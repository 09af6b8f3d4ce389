#include "export/export_request.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "export_test_support.h"
#include "main_window/column_table.h"

namespace kro {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class FakeRows final : public ExportRowSource {
public:
    struct Row {
        std::string name;
        bool checked;
    };
    explicit FakeRows(std::vector<Row> rows) : rows_(std::move(rows)) {}

    std::int32_t RowCount() const override {
        ++countReads;
        return static_cast<std::int32_t>(rows_.size());
    }
    bool IsChecked(std::int32_t row) const override { return rows_[static_cast<std::size_t>(row)].checked; }
    std::string Name(std::int32_t row) const override { return rows_[static_cast<std::size_t>(row)].name; }

    mutable int countReads = 0;

private:
    std::vector<Row> rows_;
};

TEST(ExportRequest, SelectionHoldsTheTickedNamesTopRowFirst) {
    FakeRows rows({{"r0", false}, {"r1", true}, {"r2", false}, {"r3", true}, {"r4", true}});
    fake::RecordingTrace trace;
    const ExportRequest request = BuildExportRequest(*FindExportButton(1006), rows, trace);
    EXPECT_THAT(request.selection, ElementsAre("r1", "r3", "r4"));
    EXPECT_EQ(request.exportKind, kParkExportKind);
    EXPECT_FALSE(request.backup);
    EXPECT_THAT(trace.lines, ElementsAre("park \n"));
    EXPECT_EQ(rows.countReads, 1);
}

TEST(ExportRequest, NothingTickedOrNoRowsMeansRefusalButTheSaveTraceIsWritten) {
    for (const std::vector<FakeRows::Row>& content :
         {std::vector<FakeRows::Row>{}, std::vector<FakeRows::Row>{{"a", false}, {"b", false}}}) {
        FakeRows rows(content);
        fake::RecordingTrace trace;
        EXPECT_THAT(BuildExportRequest(*FindExportButton(1007), rows, trace).selection, IsEmpty());
        EXPECT_THAT(trace.lines, ElementsAre("manual \n"));
    }
}

TEST(ExportRequest, BackupWritesNoTraceAndKeepsItsOwnKind) {
    FakeRows rows({{"photo", true}});
    fake::RecordingTrace trace;
    const ExportRequest request = BuildExportRequest(*FindExportButton(1021), rows, trace);
    EXPECT_THAT(request.selection, ElementsAre("photo"));
    EXPECT_TRUE(request.backup);
    EXPECT_EQ(request.exportKind, kBackupExportKind);
    EXPECT_THAT(trace.lines, IsEmpty());
}

}  // namespace
}  // namespace kro
