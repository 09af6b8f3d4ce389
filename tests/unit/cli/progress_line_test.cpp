#include "cli/progress_line.h"

#include <gtest/gtest.h>

namespace kro::cli {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

TEST(ProgressLineTest, LinesCountNameTimeAndEstimate) {
    EXPECT_EQ(FormatProgressLine(1, 12, "240105_074826E", milliseconds(0), std::nullopt),
              "[1/12] 240105_074826E  0:00 elapsed, estimating");
    EXPECT_EQ(FormatProgressLine(3, 12, "0105_073958.JPG", milliseconds(5900), seconds(27)),
              "[3/12] 0105_073958.JPG  0:05 elapsed, about 0:27 left");
    EXPECT_EQ(FormatProgressLine(688, 688, "사고.JPG", milliseconds(3723000), seconds(3)),
              "[688/688] 사고.JPG  1:02:03 elapsed, about 0:03 left");

    const std::vector<std::pair<long long, const char*>> durations = {
        {-5, "0:00"},    {0, "0:00"},       {59, "0:59"},       {60, "1:00"},
        {3599, "59:59"}, {3600, "1:00:00"}, {90061, "25:01:01"}};
    for (const auto& [time, text] : durations) EXPECT_EQ(FormatDuration(seconds(time)), text) << time;
}

TEST(ProgressLineTest, EstimateIsTheMeanSoFarTimesWhatRemains) {
    EXPECT_EQ(EstimateRemaining(0, 10, milliseconds(5000)), std::nullopt);
    EXPECT_EQ(EstimateRemaining(2, 10, milliseconds(5000)), seconds(20));
    EXPECT_EQ(EstimateRemaining(3, 10, milliseconds(1000)), seconds(3));  // 2.33 s rounds up
    EXPECT_EQ(EstimateRemaining(10, 10, milliseconds(9000)), seconds(0));
    EXPECT_EQ(EstimateRemaining(11, 10, milliseconds(9000)), std::nullopt);
}

TEST(ProgressLineTest, ConsoleLineIsRewrittenInPlaceAndNeverWraps) {
    std::size_t width = 0;
    EXPECT_EQ(ConsoleProgressText("[1/2] long-name", width), "\r[1/2] long-name");
    EXPECT_EQ(width, 15u);
    // A shorter line blanks out the rest of the longer one.
    EXPECT_EQ(ConsoleProgressText("[2/2] x", width), "\r[2/2] x        ");
    EXPECT_EQ(width, 7u);
    // Control characters would move the cursor.
    EXPECT_EQ(ConsoleProgressText("a\rb\tc", width), "\ra?b?c  ");

    // Cut at 79 characters, never inside a UTF-8 character.
    std::string korean;
    for (int i = 0; i < 100; ++i) korean += "사";
    width = 0;
    const std::string text = ConsoleProgressText(korean, width);
    EXPECT_EQ(width, kConsoleLineWidth);
    EXPECT_EQ(text.size(), 1 + kConsoleLineWidth * 3);
    EXPECT_EQ(text.substr(text.size() - 3), "사");
}

}  // namespace
}  // namespace kro::cli
