#include "export/export_request.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "export_test_support.h"

namespace kro {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(ExportButtons, TheSaveAndBackupOfEachListAsTheyAreWired) {
    struct Expected {
        RecordingCategory category;
        bool backup;
        std::int32_t kind;
        const char* trace;
    };
    const Expected table[] = {
        {RecordingCategory::Event, false, 1, "event \n"}, {RecordingCategory::Normal, false, 0, "normal \n"},
        {RecordingCategory::Park, false, 2, "park \n"},   {RecordingCategory::Photo, false, 3, "manual \n"},
        {RecordingCategory::Event, true, -1, nullptr},    {RecordingCategory::Normal, true, -1, nullptr},
        {RecordingCategory::Park, true, -1, nullptr},     {RecordingCategory::Photo, true, -1, nullptr},
    };
    for (const Expected& expected : table) {
        const ExportButton button = ExportButtonFor(expected.category, expected.backup);
        const int index = CategoryIndex(expected.category);
        EXPECT_EQ(button.category, expected.category) << index;
        EXPECT_EQ(button.exportKind, expected.kind) << index;
        EXPECT_EQ(button.backup, expected.backup) << index;
        if (expected.trace == nullptr) {
            EXPECT_EQ(button.traceLine, nullptr) << index;
            EXPECT_STREQ(button.refusalText,
                         L"KRO\uD30C\uC77C\uB85C \uBCC0\uD658\uD560 KRO\uC601\uC0C1\uC744 "
                         L"\uC120\uD0DD\uD558\uC138\uC694!!");
        } else {
            EXPECT_STREQ(button.traceLine, expected.trace) << index;
        }
    }
    EXPECT_STREQ(ExportButtonFor(RecordingCategory::Event, false).refusalText,
                 L"Check a file in the Event list!!");
    EXPECT_STREQ(ExportButtonFor(RecordingCategory::Normal, false).refusalText,
                 L"Check a file in the Normal list!!");
    EXPECT_STREQ(ExportButtonFor(RecordingCategory::Park, false).refusalText,
                 L"Check a file in the Park list!!");
    EXPECT_STREQ(ExportButtonFor(RecordingCategory::Photo, false).refusalText,
                 L"Check a file in the Photo list!!");
    EXPECT_STREQ(kExportRefusalCaption, L"Error");
}

TEST(ExportButtons, NoBackupCarriesThePictureKind) {
    for (RecordingCategory category : kAllCategories) {
        EXPECT_NE(ExportButtonFor(category, true).exportKind, kPhotoExportKind) << CategoryIndex(category);
    }
}

// No list has a category outside the four; one that reaches the lookup all
// the same asks for the plain AVI save, not for what lies past the table.
TEST(ExportButtons, ACategoryOutsideTheFourSavesAsNormal) {
    const ExportButton button = ExportButtonFor(static_cast<RecordingCategory>(4), false);
    EXPECT_EQ(button.exportKind, kNormalExportKind);
    EXPECT_FALSE(button.backup);
    EXPECT_STREQ(button.traceLine, "normal \n");
}

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
    const ExportRequest request =
        BuildExportRequest(ExportButtonFor(RecordingCategory::Park, false), rows, trace);
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
        EXPECT_THAT(
            BuildExportRequest(ExportButtonFor(RecordingCategory::Photo, false), rows, trace).selection,
            IsEmpty());
        EXPECT_THAT(trace.lines, ElementsAre("manual \n"));
    }
}

TEST(ExportRequest, BackupWritesNoTraceAndKeepsItsOwnKind) {
    FakeRows rows({{"photo", true}});
    fake::RecordingTrace trace;
    const ExportRequest request =
        BuildExportRequest(ExportButtonFor(RecordingCategory::Photo, true), rows, trace);
    EXPECT_THAT(request.selection, ElementsAre("photo"));
    EXPECT_TRUE(request.backup);
    EXPECT_EQ(request.exportKind, kBackupExportKind);
    EXPECT_THAT(trace.lines, IsEmpty());
}

}  // namespace
}  // namespace kro
