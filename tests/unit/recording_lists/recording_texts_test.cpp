#include "recording_lists/recording_texts.h"

#include <gtest/gtest.h>

#include <string>

#include "recording_lists/category_summary.h"

namespace kro {
namespace {

TEST(SizeText, UnitsChangeOnlyAboveTheirThresholdAndTruncate) {
    EXPECT_EQ(FormatSizeText(0), "0B");
    EXPECT_EQ(FormatSizeText(1024), "1024B");
    EXPECT_EQ(FormatSizeText(1025), "1K");
    EXPECT_EQ(FormatSizeText(2047), "1K");
    EXPECT_EQ(FormatSizeText(1048576), "1024K");
    EXPECT_EQ(FormatSizeText(1048577), "1M");
    EXPECT_EQ(FormatSizeText(3 * 1048576 - 1), "2M");
    EXPECT_EQ(FormatSizeText(0xFFFFFFFFu), "4095M");
}

TEST(DurationText, TwoDigitsAtLeast) {
    EXPECT_EQ(FormatDurationText(0), "00Sec");
    EXPECT_EQ(FormatDurationText(5), "05Sec");
    EXPECT_EQ(FormatDurationText(7), "07Sec");
    EXPECT_EQ(FormatDurationText(60), "60Sec");
    EXPECT_EQ(FormatDurationText(125), "125Sec");
    EXPECT_EQ(FormatDurationText(3600), "3600Sec");
}

TEST(ZeroSummaryTexts, DifferFromTheLinesOfAnEmptyCard) {
    EXPECT_STREQ(kZeroVideoSummaryText, "file: 0000, size: 0.00G, time 00:00");
    EXPECT_STREQ(kZeroPhotoSummaryText, "file: 0000, size: 0.00G");
    EXPECT_NE(*FormatCategorySummary(0, 0, 0, 0), kZeroVideoSummaryText);
    EXPECT_NE(*FormatCategorySummary(3, 0, 0, 0), kZeroPhotoSummaryText);
}

}  // namespace
}  // namespace kro
