#include "main_window/card_watch.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace kro {
namespace {

using enum CardWatchAction;
using Actions = std::vector<CardWatchAction>;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const Actions kNoCardTick = {HideReload, EmptyLists, ResetSummaryTexts, UpdateTitle};
const Actions kNewCardTick = {EmptyLists, StartLoad, UpdateTitle};

CardWatch LoadedWatch() {
    CardWatch watch;
    watch.OnTick(1);
    return watch;
}

struct TickRow {
    bool startLoaded;
    std::int8_t value;
    Actions actions;
    bool endAwaiting;
};

TEST(CardWatch, TickFollowsTheStateTable) {
    const std::vector<TickRow> table = {
        {false, 0, kNoCardTick, true},    // awaiting, no card
        {false, 1, kNewCardTick, false},  // awaiting, a card
        {false, 127, kNewCardTick, false},
        {false, -1, kNewCardTick, false},  // byte 255 is a card for the tick
        {false, -128, kNewCardTick, false},
        {true, 1, {}, false},  // loaded, a card
        {true, -56, {}, false},
        {true, 0, kNoCardTick, true},  // loaded, no card
    };
    for (const TickRow& row : table) {
        CardWatch watch = row.startLoaded ? LoadedWatch() : CardWatch{};
        EXPECT_EQ(watch.OnTick(row.value), row.actions) << row.startLoaded << " " << int{row.value};
        EXPECT_EQ(watch.AwaitingCard(), row.endAwaiting) << row.startLoaded << " " << int{row.value};
    }
}

TEST(CardWatch, ReloadWithAPositiveValueReloadsOtherwiseComplains) {
    for (bool loaded : {false, true}) {
        for (std::int8_t value : {1, 5, 127}) {
            CardWatch watch = loaded ? LoadedWatch() : CardWatch{};
            EXPECT_THAT(watch.OnReload(value), ElementsAre(EmptyLists, StartLoad));
            EXPECT_EQ(watch.AwaitingCard(), !loaded);
        }
        for (std::int8_t value : {0, -1, -128}) {
            CardWatch watch = loaded ? LoadedWatch() : CardWatch{};
            EXPECT_THAT(watch.OnReload(value), ElementsAre(EmptyLists, ShowNoCardError));
            EXPECT_EQ(watch.AwaitingCard(), !loaded);
        }
    }
}

// Counts the loads started over a sequence of ticks.
int LoadsStarted(CardWatch& watch, const std::vector<std::int8_t>& ticks) {
    int loads = 0;
    for (std::int8_t value : ticks) {
        for (CardWatchAction action : watch.OnTick(value)) loads += action == StartLoad;
    }
    return loads;
}

TEST(CardWatch, ALoadStartsOnlyOnTheFirstTickThatSeesACard) {
    CardWatch watch;
    EXPECT_EQ(LoadsStarted(watch, {0, 0, 3, 3, 3}), 1);
    EXPECT_EQ(LoadsStarted(watch, {0, 3}), 1);  // out and back in: one new load
}

TEST(CardWatch, ACardSwappedBetweenTicksOrAChangedDiskNumberGoesUnnoticed) {
    CardWatch watch;
    watch.OnTick(3);
    EXPECT_THAT(watch.OnTick(3), IsEmpty());
    EXPECT_THAT(watch.OnTick(5), IsEmpty());  // no load, no title update
}

TEST(CardWatch, EveryTickWithoutACardEmptiesTheListsAndResetsTheSummaries) {
    CardWatch watch;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(watch.OnTick(0), kNoCardTick);
    // A new card's load sets the summaries itself; its tick does not reset them.
    const Actions newCard = watch.OnTick(2);
    EXPECT_EQ(std::count(newCard.begin(), newCard.end(), ResetSummaryTexts), 0);
}

TEST(CardWatch, ListsAreEmptiedNormalEventParkPhoto) {
    EXPECT_THAT(kListEmptyingOrder, ElementsAre(RecordingCategory::Normal, RecordingCategory::Event,
                                                RecordingCategory::Park, RecordingCategory::Photo));
}

TEST(CardWatch, TitleNamesTheDriveRootOrNothing) {
    EXPECT_EQ(FormatWindowTitle(false, "E:\\"), "KroFileList");
    EXPECT_EQ(FormatWindowTitle(true, "E:\\"), "KroFileList [E:\\]");
    EXPECT_EQ(FormatWindowTitle(true, ""), "KroFileList []");
}

TEST(CardWatch, NoCardErrorTexts) {
    EXPECT_STREQ(kNoCardErrorText,
                 L"SD\uCE74\uB4DC\uB97C \uC778\uC2DD\uD558\uC9C0 \uC54A\uC558\uC2B5\uB2C8\uB2E4.");
    EXPECT_STREQ(kNoCardErrorCaption, L"\uC5D0\uB7EC");
}

}  // namespace
}  // namespace kro
