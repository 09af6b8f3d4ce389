// Ending device access: the poller ends before the library closes, and a
// poller stuck in a library call keeps the library loaded.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "device/in_process_library.h"
#include "device/device_access.h"
#include "tests/doubles/double_support.h"
#include "tests/unit/device/fake_clock.h"

namespace {

using kro::test::CallLog;

class EndDeviceAccessTest : public ::testing::Test {
protected:
    void SetUp() override {
        kro::lastPolledSecond = 0;
        clock.SetSecond(5);
    }

    kro::test::ScratchFolder folder{"teardown"};
    kro::test::FakeClock clock;
    kro::test::FakeThreadPriority priority;
    kro::InProcessLibrary library{kro::SystemModuleLoader()};
};

TEST_F(EndDeviceAccessTest, PollerStuckInTheLibraryLeavesItLoaded) {
    const auto path = kro::test::PlaceCopy(folder.Path(), kro::test::kBlockingCheckDouble);
    ASSERT_TRUE(library.Load(folder.Text()));
    kro::test::DoubleControls controls(path);
    ASSERT_TRUE(controls.Valid());
    kro::CSchedule poller(clock, priority);
    ASSERT_TRUE(poller.StartPolling(library, nullptr, nullptr));
    ASSERT_TRUE(kro::test::WaitUntil([&] { return controls.ChecksEntered() == 1; }));

    EXPECT_FALSE(kro::EndDeviceAccess(poller, library));
    EXPECT_EQ(clock.SleepCount(100), 20);
    EXPECT_TRUE(library.IsLoaded());
    EXPECT_EQ(CallLog(path), std::vector<std::string>{"KRO_Create"});
    // One caller at a time: a bounded details call gives up, and so does a
    // bounded close, while the poller is inside the library.
    RecordingIndexInfo info{};
    EXPECT_FALSE(library.TryGetFileIndexInfo(std::chrono::milliseconds(50), 0, "E1", &info));
    EXPECT_FALSE(library.CloseWithin(std::chrono::milliseconds(50)));
    EXPECT_TRUE(library.IsLoaded());
    EXPECT_EQ(CallLog(path), std::vector<std::string>{"KRO_Create"});

    // Once the call returns, the poller ends and the library can go.
    controls.ReleaseChecks();
    EXPECT_TRUE(poller.WaitForEnd(600));
    EXPECT_TRUE(kro::EndDeviceAccess(poller, library));
    EXPECT_FALSE(library.IsLoaded());
    EXPECT_EQ(CallLog(path),
              (std::vector<std::string>{"KRO_Create", "KRO_Check_Kro_Device h=4660", "KRO_Delete h=4660"}));
}

TEST_F(EndDeviceAccessTest, RunningPollerEndsBeforeTheLibraryIsDeleted) {
    const auto path = kro::test::PlaceCopy(folder.Path(), kro::test::kCompleteDouble);
    ASSERT_TRUE(library.Load(folder.Text()));
    // Each poll falls on a new second; the bounded wait checks in real 100 ms.
    clock.AdvanceEachReading(true);
    clock.SetWaitMilliseconds(100);
    kro::CSchedule poller(clock, priority);
    ASSERT_TRUE(poller.StartPolling(library, nullptr, nullptr));
    ASSERT_TRUE(kro::test::WaitUntil([&] { return CallLog(path).size() >= 4; }));

    EXPECT_TRUE(kro::EndDeviceAccess(poller, library));
    EXPECT_FALSE(library.IsLoaded());
    EXPECT_FALSE(kro::test::IsLibraryLoaded(path));
    const auto log = CallLog(path);
    ASSERT_GE(log.size(), 5u);
    EXPECT_EQ(log.front(), "KRO_Create");
    EXPECT_EQ(log.back(), "KRO_Delete h=4660");
    EXPECT_TRUE(std::all_of(log.begin() + 1, log.end() - 1,
                            [](const std::string& line) { return line == "KRO_Check_Kro_Device h=4660"; }));
}

TEST_F(EndDeviceAccessTest, NeverStartedPollerLetsTheLibraryCloseAtOnce) {
    const auto path = kro::test::PlaceCopy(folder.Path(), kro::test::kCompleteDouble);
    ASSERT_TRUE(library.Load(folder.Text()));
    kro::CSchedule poller(clock, priority);
    EXPECT_TRUE(kro::EndDeviceAccess(poller, library));
    EXPECT_EQ(clock.SleepCount(100), 0);
    EXPECT_EQ(CallLog(path), (std::vector<std::string>{"KRO_Create", "KRO_Delete h=4660"}));
}

}  // namespace
