#include "export/export_request.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "export_test_support.h"

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

TEST(ExportButtons, TheEightHandlersAsTheyAreWired) {
    struct Expected {
        int button, list;
        std::int32_t kind;
        bool backup;
        const char* trace;
    };
    const Expected table[] = {
        {1000, 1001, 1, false, "event \n"}, {1005, 1002, 0, false, "normal \n"},
        {1006, 1003, 2, false, "park \n"},  {1007, 1004, 3, false, "manual \n"},
        {1018, 1001, -1, true, nullptr},    {1019, 1002, -1, true, nullptr},
        {1020, 1003, -1, true, nullptr},    {1021, 1004, -1, true, nullptr},
    };
    for (const Expected& expected : table) {
        const ExportButton* button = FindExportButton(expected.button);
        ASSERT_NE(button, nullptr) << expected.button;
        EXPECT_EQ(button->listId, expected.list);
        EXPECT_EQ(static_cast<int>(button->list), expected.list - 1001);
        EXPECT_EQ(button->exportKind, expected.kind);
        EXPECT_EQ(button->backup, expected.backup);
        if (expected.trace == nullptr) {
            EXPECT_EQ(button->traceLine, nullptr);
            EXPECT_STREQ(button->refusalText,
                         L"KRO\uD30C\uC77C\uB85C \uBCC0\uD658\uD560 KRO\uC601\uC0C1\uC744 "
                         L"\uC120\uD0DD\uD558\uC138\uC694!!");
        } else {
            EXPECT_STREQ(button->traceLine, expected.trace);
        }
    }
    EXPECT_STREQ(FindExportButton(1000)->refusalText, L"Check a file in the Event list!!");
    EXPECT_STREQ(FindExportButton(1005)->refusalText, L"Check a file in the Normal list!!");
    EXPECT_STREQ(FindExportButton(1006)->refusalText, L"Check a file in the Park list!!");
    EXPECT_STREQ(FindExportButton(1007)->refusalText, L"Check a file in the Photo list!!");
    EXPECT_STREQ(kExportRefusalCaption, L"Error");
    EXPECT_EQ(FindExportButton(1001), nullptr);
    EXPECT_EQ(FindExportButton(1008), nullptr);
}

TEST(ExportButtons, NoBackupCarriesThePictureKind) {
    for (const ExportButton& button : kExportButtons) {
        if (button.backup) {
            EXPECT_NE(button.exportKind, kPhotoExportKind) << button.buttonId;
        }
    }
}

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
