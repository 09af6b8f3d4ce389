#include "recording_lists/recording_info_lines.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "fake_kro_device.h"
#include "tests/support/bounded_wait.h"

namespace kro {
namespace {

using ::testing::ElementsAre;
using namespace std::chrono_literals;

const std::string kRule(51, '_');

void PutLittleEndian(RecordingIndexInfo& info, std::size_t offset, std::uint32_t value, int bytes) {
    auto* raw = reinterpret_cast<std::uint8_t*>(&info);
    for (int i = 0; i < bytes; ++i) raw[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

RecordingIndexInfo SampleInfo() {
    RecordingIndexInfo info{};
    std::memset(&info, 0xEE, sizeof info);  // bytes outside the fields must not matter
    PutLittleEndian(info, 52, 30, 1);
    PutLittleEndian(info, 68, 1800, 2);
    PutLittleEndian(info, 70, 900, 2);
    PutLittleEndian(info, 100, 1572864, 4);
    PutLittleEndian(info, 104, 0xFFFFFFFFu, 4);
    PutLittleEndian(info, 164, 1080, 2);
    PutLittleEndian(info, 166, 720, 2);
    PutLittleEndian(info, 196, 1920, 2);
    PutLittleEndian(info, 198, 1280, 2);
    PutLittleEndian(info, 240, static_cast<std::uint32_t>(-42), 4);
    return info;
}

TEST(RecordingInfoLines, VideoCategoriesShowElevenLinesInOrder) {
    EXPECT_THAT(BuildRecordingInfoLines(0, "EVT_0001", SampleInfo()),
                ElementsAre(kRule, "                   Event file Info                  ",
                            "Filename : EVT_0001", "Front frame : 1800", "Rear frame : 900",
                            "Front size : 1M", "Rear size : 4095M", "fps : 30", "G-Sen : -42",
                            "Front resolution : 1920 x 1080", "Rear resolution : 1280 x 720"));
}

TEST(RecordingInfoLines, HeadersOfNormalAndPark) {
    EXPECT_EQ(BuildRecordingInfoLines(1, "n", SampleInfo())[1],
              "                   Normal file Info                  ");
    EXPECT_EQ(BuildRecordingInfoLines(2, "p", SampleInfo())[1],
              "                   Park file Info                  ");
    EXPECT_EQ(BuildRecordingInfoLines(2, "p", SampleInfo()).size(), 11u);
}

TEST(RecordingInfoLines, PhotoShowsOnlyItsName) {
    EXPECT_THAT(
        BuildRecordingInfoLines(3, "JPG_0001", SampleInfo()),
        ElementsAre(kRule, "                   Photo file Info                  ", "Filename : JPG_0001"));
}

TEST(RecordingInfoLines, UnknownCategoryHasNoHeaderButTheDetails) {
    const auto lines = BuildRecordingInfoLines(7, "x", SampleInfo());
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[0], kRule);
    EXPECT_EQ(lines[1], "Filename : x");
    EXPECT_EQ(lines[9], "Rear resolution : 1280 x 720");
}

TEST(RecordingInfoLines, QueryPassesCategoryAndNameAndStartsFromZeros) {
    fake::FakeKroDevice device;
    std::uint8_t askedCategory = 0xFF;
    std::string askedName;
    device.getFileIndexInfo = [&](std::uint8_t category, const char* name, RecordingIndexInfo* info) {
        askedCategory = category;
        askedName = name;
        info->frontWidth = 640;
        return 1;
    };
    const auto info = QueryRecordingInfo(device.Library(), RecordingCategory::Park, "PARK_01");
    ASSERT_TRUE(info);
    EXPECT_EQ(askedCategory, 2);
    EXPECT_EQ(askedName, "PARK_01");
    EXPECT_EQ(info->frontWidth, 640);
    EXPECT_EQ(BuildRecordingInfoLines(2, "PARK_01", *info)[10], "Rear resolution : 0 x 0");
}

// The popup never waits long for the library: not while another thread is
// inside it (a conversion), and not on a details call that does not return.
// Either way there is no answer rather than a record of zeros.
TEST(RecordingInfoLines, QueryGivesUpOnABusyOrSilentLibrary) {
    fake::FakeKroDevice device;
    std::promise<void> release;
    const std::shared_future<void> released = release.get_future().share();
    std::atomic<int> conversionsEntered{0};
    device.makeAviFile = [&](const char*) {
        ++conversionsEntered;
        released.wait();
        return 1;
    };
    device.getFileIndexInfo = [&](std::uint8_t, const char*, RecordingIndexInfo* info) {
        released.wait();
        info->frontWidth = 640;
        return 1;
    };
    std::thread conversion([&] { device.Library().MakeAviFile("E1"); });
    ASSERT_TRUE(kro::testing::Eventually([&] { return conversionsEntered.load() > 0; },
                                         "the conversion to enter the library"));
    EXPECT_FALSE(QueryRecordingInfo(device.Library(), RecordingCategory::Event, "E1", 50ms));
    release.set_value();
    conversion.join();

    // Now the details call itself is what answers; once released it does.
    EXPECT_TRUE(QueryRecordingInfo(device.Library(), RecordingCategory::Event, "E1", 5s));
    // Every asking thread has left the binding before it goes.
    EXPECT_TRUE(device.Library().CloseWithin(5s));
}

// The short bound is for the call's turn; once the call runs, a slow
// library's answer is waited for and shown.
TEST(RecordingInfoLines, ASlowLibraryThatAnswersShowsItsDetails) {
    fake::FakeKroDevice device;
    device.getFileIndexInfo = [](std::uint8_t, const char*, RecordingIndexInfo* info) {
        std::this_thread::sleep_for(300ms);
        info->frontWidth = 1280;
        return 1;
    };
    const auto info = QueryRecordingInfo(device.Library(), RecordingCategory::Event, "E1");
    ASSERT_TRUE(info) << "a library answering in 300 ms showed no details";
    EXPECT_EQ(info->frontWidth, 1280);
}

TEST(RecordingInfoLines, QueryDropsAnAnswerThatComesTooLate) {
    fake::FakeKroDevice device;
    std::promise<void> release;
    const std::shared_future<void> released = release.get_future().share();
    device.getFileIndexInfo = [&](std::uint8_t, const char*, RecordingIndexInfo*) {
        released.wait();
        return 1;
    };
    EXPECT_FALSE(QueryRecordingInfo(device.Library(), RecordingCategory::Normal, "N1", 50ms, 50ms));
    // The late caller still holds the library: it cannot be closed yet.
    EXPECT_FALSE(device.Library().CloseWithin(50ms));
    release.set_value();
    EXPECT_TRUE(device.Library().CloseWithin(5s));
}

// Callers that queue while the instance is being deleted find the library
// gone and leave; a close that reports success must have waited for them,
// since its owner may destroy the binding at once (the sanitizer sees any
// caller still touching it).
TEST(RecordingInfoLines, ATrueCloseLeavesNoQueuedCallerBehind) {
    auto device = std::make_unique<fake::FakeKroDevice>();
    KroLibrary& library = device->Library();
    std::promise<void> deleting;
    std::promise<void> release;
    const std::shared_future<void> released = release.get_future().share();
    device->deleteInstance = [&] {
        deleting.set_value();
        released.wait();
        return 1;
    };
    bool closed = false;
    std::thread closer([&] { closed = library.CloseWithin(20s); });
    ASSERT_TRUE(kro::testing::BecomesReady(deleting.get_future(), "the close to enter KRO_Delete"));

    // Many, so that the lock is handed on long after the close let go of it.
    constexpr int kCallers = 64;
    std::atomic<int> started{0};
    std::atomic<int> answeredZero{0};
    std::vector<std::thread> callers;
    for (int i = 0; i < kCallers; ++i) {
        callers.emplace_back([&] {
            ++started;
            if (library.GetFileCount(0) == 0) ++answeredZero;
        });
    }
    ASSERT_TRUE(kro::testing::Eventually([&] { return started.load() == kCallers; }, "the callers to start"));
    // A pause, not a timing check: time for the callers to queue for the lock.
    std::this_thread::sleep_for(100ms);
    release.set_value();
    closer.join();
    ASSERT_TRUE(closed);
    EXPECT_EQ(answeredZero.load(), kCallers) << "the close reported success with callers still inside";
    device.reset();
    for (std::thread& caller : callers) caller.join();
    EXPECT_EQ(answeredZero.load(), kCallers);
}

TEST(RecordingInfoLines, UnboundLibraryShowsZeros) {
    fake::FakeKroDevice device({"KRO_Create"});
    const auto info = QueryRecordingInfo(device.Library(), RecordingCategory::Event, "E");
    ASSERT_TRUE(info);
    EXPECT_THAT(BuildRecordingInfoLines(0, "E", *info),
                ElementsAre(kRule, "                   Event file Info                  ", "Filename : E",
                            "Front frame : 0", "Rear frame : 0", "Front size : 0M", "Rear size : 0M",
                            "fps : 0", "G-Sen : 0", "Front resolution : 0 x 0", "Rear resolution : 0 x 0"));
}

}  // namespace
}  // namespace kro
