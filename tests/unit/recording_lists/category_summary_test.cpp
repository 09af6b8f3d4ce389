#include "recording_lists/category_summary.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace kro {
namespace {

constexpr int kEvent = 0;
constexpr int kNormal = 1;
constexpr int kPark = 2;
constexpr int kPhoto = 3;
constexpr std::uint64_t kGibibyte = std::uint64_t{1} << 30;
constexpr std::uint64_t kMebibyte = std::uint64_t{1} << 20;

std::string Video(std::int32_t count, std::uint64_t bytes, std::int32_t seconds) {
    return FormatCategorySummary(kEvent, count, bytes, seconds).value_or("<none>");
}

std::string Photo(std::int32_t count, std::uint64_t bytes) {
    return FormatCategorySummary(kPhoto, count, bytes, 0).value_or("<none>");
}

TEST(CategorySummary, EmptyCategories) {
    for (int code : {kEvent, kNormal, kPark}) {
        EXPECT_EQ(FormatCategorySummary(code, 0, 0, 0), "file: 0000, size: 0B, 00:00") << code;
    }
    EXPECT_EQ(Photo(0, 0), "file: 0000, size: 0B");
}

TEST(CategorySummary, ClockAddsFifteenSecondsBeforeTakingWholeMinutes) {
    EXPECT_EQ(Video(1, 2000, 44), "file: 0001, size: 1.95K, time 00:00");
    EXPECT_EQ(Video(1, 2000, 45), "file: 0001, size: 1.95K, time 00:01");
    EXPECT_EQ(Video(1, 2000, 3585), "file: 0001, size: 1.95K, time 01:00");
    EXPECT_EQ(Video(1, 2000, 90000), "file: 0001, size: 1.95K, time 25:00");
    // The byte line has no word "time" before its clock.
    EXPECT_EQ(Video(2, 100, 45), "file: 0002, size: 100B, 00:01");
}

TEST(CategorySummary, HugeTotalsOfSecondsDoNotOverflow) {
    // (2^31 - 1 + 15) / 60 = 35,791,394 minutes.
    EXPECT_EQ(Video(1, 0, std::numeric_limits<std::int32_t>::max()), "file: 0001, size: 0B, 596523:14");
}

TEST(CategorySummary, VideoUnitsChangeOnlyAboveTheirThresholds) {
    EXPECT_EQ(Video(1, 1024, 0), "file: 0001, size: 1024B, 00:00");
    EXPECT_EQ(Video(1, 1025, 0), "file: 0001, size: 1.00K, time 00:00");
    EXPECT_EQ(Video(1, kMebibyte, 0), "file: 0001, size: 1024.00K, time 00:00");
    EXPECT_EQ(Video(1, kMebibyte + 1, 0), "file: 0001, size: 1.00M, time 00:00");
    EXPECT_EQ(Video(1, kGibibyte, 0), "file: 0001, size: 1024.00M, time 00:00");
    EXPECT_EQ(Video(1, kGibibyte + 1, 0), "file: 0001, size: 1.00G, time 00:00");
}

TEST(CategorySummary, TotalsBeyondFourGibibytes) {
    EXPECT_EQ(Video(3, 5000000000ull, 0), "file: 0003, size: 4.66G, time 00:00");
    EXPECT_EQ(Photo(3, 5000000000ull), "file: 0003, size: 4.66G");
}

TEST(CategorySummary, SizeIsHeldInSinglePrecision) {
    // In double precision this total reads 100000.00G.
    EXPECT_EQ(Video(1, 107374187338268ull, 0), "file: 0001, size: 100000.01G, time 00:00");
}

TEST(CategorySummary, PhotoLineHasNoTimeAndNoKilobyteRange) {
    EXPECT_EQ(Photo(1, 500000), "file: 0001, size: 500000B");
    EXPECT_EQ(Photo(1, kMebibyte), "file: 0001, size: 1048576B");
    EXPECT_EQ(Photo(1, kMebibyte + 1), "file: 0001, size: 1.00M");
    EXPECT_EQ(Photo(1, kGibibyte), "file: 0001, size: 1024.00M");
    EXPECT_EQ(Photo(1, kGibibyte + 1), "file: 0001, size: 1.00G");
    // Photo durations never show, whatever they add up to.
    EXPECT_EQ(FormatCategorySummary(kPhoto, 1, 500000, 3600), "file: 0001, size: 500000B");
}

TEST(CategorySummary, CountHasAtLeastFourDigits) {
    EXPECT_EQ(Video(7, 0, 0), "file: 0007, size: 0B, 00:00");
    EXPECT_EQ(Video(12345, 0, 0), "file: 12345, size: 0B, 00:00");
}

TEST(CategorySummary, CodesOutsideTheFourCategoriesShowNothing) {
    for (int code : {-1, 4, 255}) EXPECT_FALSE(FormatCategorySummary(code, 1, 1, 1).has_value()) << code;
}

}  // namespace
}  // namespace kro
