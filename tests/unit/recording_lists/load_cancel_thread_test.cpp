// A load on its own thread, abandoned while the library is inside a call:
// the program can close without waiting for more than that call.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "fake_kro_device.h"
#include "recording_lists/recording_list_loader.h"
#include "recording_sink.h"
#include "tests/support/bounded_wait.h"

namespace kro {
namespace {

using ::testing::IsEmpty;

TEST(LoadThread, CancelDuringASlowLibraryCallEndsTheLoadAfterThatCall) {
    fake::FakeKroDevice device;
    device.SetCard({{{{"a", 'E'}, {"b", 'E'}}, {{"c", 'I'}}, {}, {}}});
    std::promise<void> entered;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    device.getFileCount = [&, count = device.getFileCount](std::uint8_t code) {
        if (code == 2) {
            entered.set_value();
            released.wait();
        }
        return count(code);
    };

    fake::RecordingSink sink;
    std::atomic<bool> cancel{false};
    LoadOutcome outcome = LoadOutcome::Completed;
    std::thread loader([&] { outcome = LoadRecordingLists(device.Library(), sink, cancel); });

    ASSERT_TRUE(kro::testing::BecomesReady(entered.get_future(), "the load to enter its slow library call"));
    cancel = true;
    release.set_value();
    loader.join();

    EXPECT_EQ(outcome, LoadOutcome::Cancelled);
    EXPECT_THAT(sink.rows, IsEmpty());
    EXPECT_THAT(sink.summaries, IsEmpty());
}

}  // namespace
}  // namespace kro
