#include "recording_lists/check_all.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

namespace kro {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;

// One list's check boxes, and the order in which rows were set.
struct FakeList {
    explicit FakeList(int rows) : checks(static_cast<std::size_t>(rows), false) {}

    void Press() {
        ToggleCheckAll(allChecked, static_cast<std::int32_t>(checks.size()),
                       [this](std::int32_t row, bool on) {
                           order.push_back(row);
                           checks[static_cast<std::size_t>(row)] = on;
                       });
    }

    std::uint8_t allChecked = 0;
    std::vector<bool> checks;
    std::vector<std::int32_t> order;
};

TEST(CheckAll, PressesAlternateBetweenCheckingAndUncheckingEveryRowInOrder) {
    FakeList list(3);
    list.Press();
    EXPECT_THAT(list.checks, Each(true));
    EXPECT_THAT(list.order, ElementsAre(0, 1, 2));
    EXPECT_EQ(list.allChecked, 1);
    list.Press();
    EXPECT_THAT(list.checks, Each(false));
    EXPECT_EQ(list.allChecked, 0);
}

TEST(CheckAll, EmptyListStillFlipsTheFlag) {
    FakeList list(0);
    list.Press();
    EXPECT_EQ(list.allChecked, 1);
    EXPECT_TRUE(list.order.empty());
    list.Press();
    EXPECT_EQ(list.allChecked, 0);
}

TEST(CheckAll, AfterAReloadTheFirstPressUnchecksAndOnlyTheSecondChecks) {
    FakeList list(2);
    list.Press();  // checks, flag 1
    // A reload replaces the rows; the flag is left as it was.
    list.checks.assign(4, false);
    list.Press();
    EXPECT_THAT(list.checks, Each(false));
    EXPECT_EQ(list.allChecked, 0);
    list.Press();
    EXPECT_THAT(list.checks, Each(true));
}

TEST(CheckAll, RowsTickedByHandFollowThePress) {
    FakeList list(3);
    list.checks[1] = true;
    list.Press();  // flag 0: checks all
    EXPECT_THAT(list.checks, Each(true));
    list.checks[0] = false;  // unticked by hand; the flag stays 1
    list.Press();
    EXPECT_THAT(list.checks, Each(false));
}

TEST(CheckAll, AnyFlagOtherThanOneChecks) {
    FakeList list(2);
    list.allChecked = 2;
    list.Press();
    EXPECT_THAT(list.checks, Each(true));
    EXPECT_EQ(list.allChecked, 1);
}

}  // namespace
}  // namespace kro
