// The list-loading threads under Wine: rows reach real list views in posted
// batches, summaries come last, and batches of an abandoned load never show.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <future>
#include <memory>
#include <thread>

#include "fake_kro_device.h"
#include "recording_lists/recording_texts.h"
#include "tests/support/bounded_wait.h"
#include "tests/win/recording_lists/list_host.h"
#include "ui/app_messages.h"

namespace kro {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Row = std::vector<std::string>;

constexpr int kEventRows = 600;
constexpr int kCardRows = kEventRows + 8;  // and 4 Normal, 2 Park, 2 Photo

std::string Numbered(const char* prefix, int i) {
    char name[16];
    std::snprintf(name, sizeof name, "%s%05d", prefix, i);
    return name;
}

// 600 Event recordings (enough for several batches) and a few of each other
// kind, with the size and duration edges in the Normal list.
std::array<std::vector<fake::Recording>, 4> TestCard() {
    std::array<std::vector<fake::Recording>, 4> card;
    for (int i = 0; i < kEventRows; ++i) {
        card[0].push_back(
            {Numbered("EV", i), i % 2 ? 'e' : 'E', 3'000'000u + static_cast<std::uint32_t>(i), i});
    }
    card[1] = {{"N1024", 'I', 1024, 7},
               {"N1025", 'I', 1025, 3600},
               {"N1M", 'I', 1048576, 60},
               {"Nunknown", 'i', 1048577, 5}};
    card[2] = {{"PARK&1", 'M', 2048, 30}, {"PARK2", 'P', 4096, 31}};
    card[3] = {{"0105_0001.JPG", 'J', 500'000, 0}, {"0105_0002.JPG", 'j', 500'000, 0}};
    return card;
}

// The host's lists hold TestCard's rows, in order, with their texts.
void ExpectTestCardRows(const testing::ListHost& host) {
    const auto eventRows = host.Rows(RecordingCategory::Event);
    ASSERT_EQ(eventRows.size(), static_cast<std::size_t>(kEventRows));
    for (int i = 0; i < kEventRows; ++i) {
        EXPECT_EQ(eventRows[i], (Row{Numbered("EV", i), "2M", FormatDurationText(i)})) << i;
    }
    EXPECT_THAT(host.Rows(RecordingCategory::Normal),
                ElementsAre(Row{"N1024", "1024B", "07Sec"}, Row{"N1025", "1K", "3600Sec"},
                            Row{"N1M", "1024K", "60Sec"}, Row{"Nunknown", "1M", "05Sec"}));
    EXPECT_THAT(host.Rows(RecordingCategory::Park),
                ElementsAre(Row{"PARK&1", "2K", "30Sec"}, Row{"PARK2", "4K", "31Sec"}));
    EXPECT_THAT(host.Rows(RecordingCategory::Photo),
                ElementsAre(Row{"0105_0001.JPG", "488K"}, Row{"0105_0002.JPG", "488K"}));
}

class ListLoadThreadTest : public ::testing::Test {
protected:
    ListLoadThreadTest() { device.SetCard(TestCard()); }

    // Waits, without serving the window, until the threads have ended; their
    // batches then wait in the queue.
    bool WaitForThreadsOnly() {
        for (int i = 0; i < 3000 && host.loads.Busy(); ++i) Sleep(10);
        return !host.loads.Busy();
    }

    bool LoadComplete() const { return host.summaries.size() == 4 && !host.loads.Busy(); }

    fake::FakeKroDevice device;
    testing::ListHost host;
};

TEST_F(ListLoadThreadTest, RowsReachTheListsInBatchesAndTheSummariesComeLast) {
    ASSERT_TRUE(host.loads.Start(device.Library(), host.Window()));
    ASSERT_TRUE(host.PumpUntil([&] { return LoadComplete(); }));

    ExpectTestCardRows(host);
    EXPECT_EQ(host.CheckedRows(), 0);

    // 608 rows: a first batch of 256, then the rest (under the second
    // batch's 512) with the four summary lines.
    EXPECT_THAT(host.appliedBatchRows, ElementsAre(256, 352));
    EXPECT_THAT(host.appliedBatchSummaries, ElementsAre(0, 4));
    ASSERT_EQ(host.summaries.size(), 4u);
    EXPECT_EQ(host.summaries[0].category, RecordingCategory::Event);
    EXPECT_EQ(host.summaries[0].totals.count, kEventRows);
    EXPECT_EQ(host.summaries[1].text, "file: 0004, size: 2.00M, time 01:01");
    EXPECT_EQ(host.summaries[2].text, "file: 0002, size: 6.00K, time 00:01");
    EXPECT_EQ(host.summaries[3].text, "file: 0002, size: 1000000B");
    EXPECT_EQ(host.droppedBatches, 0);
}

// The main window puts rows in for a slice of time at a turn of its message
// loop; with no time at all each turn still puts in a few rows.
TEST_F(ListLoadThreadTest, RowsGoInInSlicesInTheirOrderWithTheQueuedBatchesJoinedAndTheSummariesLast) {
    host.slice = std::chrono::milliseconds(0);
    ASSERT_TRUE(host.loads.Start(device.Library(), host.Window()));
    ASSERT_TRUE(WaitForThreadsOnly());  // both batches (256 and 352 rows) are queued

    MSG message;
    ASSERT_TRUE(PeekMessageW(&message, host.Window(), ui::kRowBatchMessage, ui::kRowBatchMessage, PM_REMOVE));
    DispatchMessageW(&message);
    EXPECT_EQ(host.List(RecordingCategory::Event).ItemCount(), static_cast<int>(kRowsPerClockCheck));
    ASSERT_TRUE(host.PumpUntil([&] { return LoadComplete(); }));

    ExpectTestCardRows(host);
    // Every turn, the second batch's arrival included, put in the fewest
    // rows a slice puts in and no more, across the two batches' boundary;
    // the turns after the batches were wake-ups, one outstanding at a time.
    const int turns = kCardRows / static_cast<int>(kRowsPerClockCheck);
    EXPECT_EQ(host.rowsPerTurn, std::vector<int>(turns, static_cast<int>(kRowsPerClockCheck)));
    EXPECT_EQ(host.wakeUps, turns - 2);
    EXPECT_EQ(host.queuedWakeUpsBehind, 0);
    // The summary lines came once, after the last row.
    EXPECT_THAT(host.rowsAtSummaries, ElementsAre(kCardRows));
    EXPECT_EQ(host.summaries.size(), 4u);
}

// Stands in for PostMessageW on a queue that has no room (10,000 posted
// messages on Windows; Wine sets no limit, so it cannot be filled there).
BOOL WINAPI PostToFullQueue(HWND, UINT, WPARAM, LPARAM) {
    SetLastError(ERROR_NOT_ENOUGH_QUOTA);
    return FALSE;
}

TEST(ListLoadThreadFullQueue, AWakeUpWithNoRoomIsPostedLaterAndEveryRowStillGoesInASliceAtATurn) {
    fake::FakeKroDevice device;
    device.SetCard(TestCard());
    testing::ListHost host(&PostToFullQueue);
    host.slice = std::chrono::milliseconds(0);
    ASSERT_TRUE(host.loads.Start(device.Library(), host.Window()));
    ASSERT_TRUE(host.PumpUntil([&] { return host.summaries.size() == 4 && !host.loads.Busy(); }))
        << "gave up waiting for the load's summary lines";

    ExpectTestCardRows(host);
    for (const int rows : host.rowsPerTurn) EXPECT_LE(rows, static_cast<int>(kRowsPerClockCheck));
    EXPECT_GT(host.wakeUps, 0);
    EXPECT_EQ(host.queuedWakeUpsBehind, 0);
    EXPECT_THAT(host.rowsAtSummaries, ElementsAre(kCardRows));
}

TEST_F(ListLoadThreadTest, RowsLeftOfAnAbandonedLoadNeverGoIn) {
    host.slice = std::chrono::milliseconds(0);
    ASSERT_TRUE(host.loads.Start(device.Library(), host.Window()));
    ASSERT_TRUE(WaitForThreadsOnly());
    MSG message;
    ASSERT_TRUE(PeekMessageW(&message, host.Window(), ui::kRowBatchMessage, ui::kRowBatchMessage, PM_REMOVE));
    DispatchMessageW(&message);
    ASSERT_EQ(host.List(RecordingCategory::Event).ItemCount(), static_cast<int>(kRowsPerClockCheck));

    host.loads.Abandon();
    host.PumpPending();
    EXPECT_EQ(host.List(RecordingCategory::Event).ItemCount(), static_cast<int>(kRowsPerClockCheck));
    EXPECT_THAT(host.summaries, IsEmpty());
    EXPECT_FALSE(
        PeekMessageW(&message, host.Window(), ui::kRowBatchMessage, ui::kRowBatchMessage, PM_NOREMOVE));

    // A load started on the emptied lists while the abandoned load's wake-up
    // is still outstanding gets every row in all the same.
    ASSERT_TRUE(host.loads.Start(device.Library(), host.Window()));
    ASSERT_TRUE(WaitForThreadsOnly());
    ASSERT_TRUE(PeekMessageW(&message, host.Window(), ui::kRowBatchMessage, ui::kRowBatchMessage, PM_REMOVE));
    DispatchMessageW(&message);
    host.loads.Abandon();
    ASSERT_TRUE(host.loads.Start(device.Library(), host.Window()));
    for (RecordingCategory category : kAllCategories) host.List(category).DeleteAllItems();
    ASSERT_TRUE(host.PumpUntil([&] { return LoadComplete(); }));
    ExpectTestCardRows(host);
    EXPECT_THAT(host.rowsAtSummaries, ElementsAre(kCardRows));
    EXPECT_EQ(host.queuedWakeUpsBehind, 0);
}

TEST_F(ListLoadThreadTest, AnEmptyCardSendsOnlyTheLoadedZeroLines) {
    device.SetCard({});
    ASSERT_TRUE(host.loads.Start(device.Library(), host.Window()));
    ASSERT_TRUE(host.PumpUntil([&] { return LoadComplete(); }));

    for (RecordingCategory category : kAllCategories) EXPECT_THAT(host.Rows(category), IsEmpty());
    EXPECT_THAT(host.appliedBatchRows, ElementsAre(0));
    ASSERT_EQ(host.summaries.size(), 4u);
    EXPECT_EQ(host.summaries[0].text, "file: 0000, size: 0B, 00:00");
    EXPECT_EQ(host.summaries[2].text, "file: 0000, size: 0B, 00:00");
    EXPECT_EQ(host.summaries[3].text, "file: 0000, size: 0B");
}

TEST_F(ListLoadThreadTest, QueuedBatchesOfAnEarlierLoadAreDroppedWhenANewLoadStarts) {
    ASSERT_TRUE(host.loads.Start(device.Library(), host.Window()));
    ASSERT_TRUE(WaitForThreadsOnly());  // both batches of the first load are queued

    ASSERT_TRUE(host.loads.Start(device.Library(), host.Window()));
    ASSERT_TRUE(host.PumpUntil([&] { return LoadComplete(); }));
    host.PumpPending();

    EXPECT_EQ(host.droppedBatches, 2);
    EXPECT_EQ(host.Rows(RecordingCategory::Event).size(), static_cast<std::size_t>(kEventRows));
    EXPECT_EQ(host.Rows(RecordingCategory::Photo).size(), 2u);
    EXPECT_EQ(host.summaries.size(), 4u);
}

TEST_F(ListLoadThreadTest, AnAbandonedLoadShowsNothing) {
    ASSERT_TRUE(host.loads.Start(device.Library(), host.Window()));
    ASSERT_TRUE(WaitForThreadsOnly());
    host.loads.Abandon();
    host.PumpPending();

    EXPECT_EQ(host.droppedBatches, 2);
    for (RecordingCategory category : kAllCategories) EXPECT_THAT(host.Rows(category), IsEmpty());
    EXPECT_THAT(host.summaries, IsEmpty());
}

TEST_F(ListLoadThreadTest, ALoadAbandonedInsideALibraryCallPostsNothingAndTheNewLoadFillsTheListsAfterIt) {
    std::promise<void> entered;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<int> listCalls{0};
    device.getFileList = [&, list = device.getFileList](std::uint8_t code, std::int32_t capacity,
                                                        RecordingEntry* entries, std::int32_t* auxiliary,
                                                        std::uint32_t* sizes, std::int32_t* durations) {
        if (listCalls.fetch_add(1) == 0) {  // the first load's first list call
            entered.set_value();
            released.wait();
        }
        return list(code, capacity, entries, auxiliary, sizes, durations);
    };

    ASSERT_TRUE(host.loads.Start(device.Library(), host.Window()));
    ASSERT_TRUE(kro::testing::BecomesReady(entered.get_future(), "the first load's first list call"));
    // The new load waits its turn: one caller at a time in the library.
    ASSERT_TRUE(host.loads.Start(device.Library(), host.Window()));
    host.PumpPending();
    EXPECT_THAT(host.summaries, IsEmpty());
    release.set_value();
    ASSERT_TRUE(host.PumpUntil([&] { return host.summaries.size() == 4 && !host.loads.Busy(); }));
    host.PumpPending();

    EXPECT_EQ(host.Rows(RecordingCategory::Event).size(), static_cast<std::size_t>(kEventRows));
    EXPECT_EQ(host.Rows(RecordingCategory::Normal).size(), 4u);
    EXPECT_EQ(host.summaries.size(), 4u);
    EXPECT_EQ(host.droppedBatches, 0);  // the abandoned load saw its cancel before posting
}

TEST_F(ListLoadThreadTest, StopWaitsForTheLoadAndFreesTheBatchesStillQueued) {
    ASSERT_TRUE(host.loads.Start(device.Library(), host.Window()));
    ASSERT_TRUE(WaitForThreadsOnly());

    EXPECT_TRUE(host.loads.Stop(host.Window(), std::chrono::seconds(2)));
    MSG message;
    EXPECT_FALSE(
        PeekMessageW(&message, host.Window(), ui::kRowBatchMessage, ui::kRowBatchMessage, PM_NOREMOVE));
    for (RecordingCategory category : kAllCategories) EXPECT_THAT(host.Rows(category), IsEmpty());
}

TEST(ListLoadThreadStop, ReportsALoadStuckInTheLibraryAndThatLoadNeverPosts) {
    // The stuck thread returns through the library object after the test's
    // end, so that object is left alive on purpose.
    auto* device = new fake::FakeKroDevice;
    device->SetCard(TestCard());
    std::promise<void> entered;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> returned{false};
    device->getFileCount = [&, count = device->getFileCount](std::uint8_t code) {
        if (code == 2) {
            entered.set_value();
            released.wait();
            returned = true;
        }
        return count(code);
    };
    testing::ListHost host;
    ASSERT_TRUE(host.loads.Start(device->Library(), host.Window()));
    ASSERT_TRUE(kro::testing::BecomesReady(entered.get_future(), "the load to enter the library"));

    EXPECT_FALSE(host.loads.Stop(host.Window(), std::chrono::milliseconds(200)));
    EXPECT_FALSE(host.loads.Busy());

    release.set_value();
    ASSERT_TRUE(host.PumpUntil([&] { return returned.load(); }));
    host.PumpPending();
    EXPECT_EQ(host.droppedBatches, 0);
    for (RecordingCategory category : kAllCategories) EXPECT_THAT(host.Rows(category), IsEmpty());
    EXPECT_THAT(host.summaries, IsEmpty());
}

}  // namespace
}  // namespace kro
