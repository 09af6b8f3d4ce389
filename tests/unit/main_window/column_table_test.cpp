// The column table: the eight export buttons it builds, as they are wired.
#include "main_window/column_table.h"

#include <gtest/gtest.h>

namespace kro {
namespace {

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

}  // namespace
}  // namespace kro
