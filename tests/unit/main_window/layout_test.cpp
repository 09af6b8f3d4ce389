// The main dialog's pixel layout and the DPI-dependent list font height.
#include "main_window/layout.h"

#include <gtest/gtest.h>

#include <utility>

namespace kro::layout {
namespace {

TEST(LabelFontHeight, FollowsTheReferenceDpiTable) {
    // Screen DPI -> character height (negative), as the layout promises.
    const std::pair<int, int> table[] = {{96, -13}, {120, -13}, {144, -12}, {168, -12}, {192, -13}};
    for (const auto& [dpi, height] : table) {
        EXPECT_EQ(LabelFontHeight(dpi), height) << "at " << dpi << " DPI";
    }
}

TEST(LabelFontHeight, ReferenceChangesJustAboveEachBoundary) {
    EXPECT_EQ(ReferenceDpi(72), 72);
    EXPECT_EQ(ReferenceDpi(97), 72);
    EXPECT_EQ(ReferenceDpi(98), 96);
    EXPECT_EQ(ReferenceDpi(125), 96);
    EXPECT_EQ(ReferenceDpi(126), 120);
    EXPECT_EQ(ReferenceDpi(150), 120);
    EXPECT_EQ(ReferenceDpi(151), 144);
    EXPECT_EQ(ReferenceDpi(600), 144);
}

TEST(LabelFontHeight, RoundsToTheNearestPixelWithHalvesUp) {
    EXPECT_EQ(LabelFontHeight(97), -13);   // 970 / 72 = 13.47
    EXPECT_EQ(LabelFontHeight(98), -10);   // 980 / 96 = 10.21
    EXPECT_EQ(LabelFontHeight(125), -13);  // 1250 / 96 = 13.02
    EXPECT_EQ(LabelFontHeight(126), -11);  // 1260 / 120 = 10.5, half rounds up
    EXPECT_EQ(LabelFontHeight(150), -13);  // 1500 / 120 = 12.5, half rounds up
    EXPECT_EQ(LabelFontHeight(151), -10);  // 1510 / 144 = 10.49
    EXPECT_EQ(LabelFontHeight(72), -10);
}

TEST(Layout, DialogIsFixedAt150With1110By635) {
    EXPECT_EQ(DialogRect(), (PixelRect{150, 150, 1110, 635}));
}

TEST(Layout, ColumnsStand270PixelsApart) {
    const int xs[] = {20, 290, 560, 830};
    for (int column = 0; column < kColumnCount; ++column) {
        const int x = xs[column];
        SCOPED_TRACE(column);
        EXPECT_EQ(SummaryRect(column), (PixelRect{x, 11, 250, 15}));
        EXPECT_EQ(GroupBoxRect(column), (PixelRect{x - 10, 35, 270, 555}));
        EXPECT_EQ(ListRect(column), (PixelRect{x, 50, 250, 500}));
        EXPECT_EQ(CheckAllRect(column), (PixelRect{x, 555, 100, 25}));
        EXPECT_EQ(BackupRect(column), (PixelRect{x + 105, 555, 100, 25}));
        EXPECT_EQ(SaveRect(column), (PixelRect{x + 140, 555, 100, 25}));
    }
    EXPECT_EQ(ReloadRect(), (PixelRect{1020, 555, 60, 25}));
}

TEST(Layout, ButtonsOfAColumnDoNotOverlapAndStayInsideTheGroupBox) {
    for (int column = 0; column < kColumnCount; ++column) {
        SCOPED_TRACE(column);
        const PixelRect box = GroupBoxRect(column);
        const PixelRect checkAll = CheckAllRect(column);
        const PixelRect save = SaveRect(column);
        EXPECT_LE(checkAll.x + checkAll.width, save.x);
        EXPECT_GE(checkAll.x, box.x);
        EXPECT_LE(save.x + save.width, box.x + box.width);
        EXPECT_LE(save.y + save.height, box.y + box.height);
        const PixelRect list = ListRect(column);
        EXPECT_LE(list.y + list.height, save.y);
    }
}

TEST(Layout, ColumnsFitTheDialogWithoutOverlapping) {
    const PixelRect dialog = DialogRect();
    for (int column = 0; column < kColumnCount; ++column) {
        SCOPED_TRACE(column);
        const PixelRect box = GroupBoxRect(column);
        EXPECT_LE(box.x + box.width, dialog.width);
        EXPECT_LE(box.y + box.height, dialog.height);
        if (column > 0) {
            EXPECT_LT(ListRect(column - 1).x + ListRect(column - 1).width, ListRect(column).x);
        }
    }
}

TEST(CentredIconOrigin, CentresWithIntegerDivision) {
    EXPECT_EQ(CentredIconOrigin(160, 100, 32, 32), (PixelPoint{64, 34}));
    EXPECT_EQ(CentredIconOrigin(33, 33, 32, 32), (PixelPoint{1, 1}));
    // A client area smaller than the icon: the division truncates toward 0.
    EXPECT_EQ(CentredIconOrigin(0, 0, 32, 32), (PixelPoint{-15, -15}));
}

}  // namespace
}  // namespace kro::layout
