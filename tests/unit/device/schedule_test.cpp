// CSchedule against the complete test double: what is asked, when, and what
// the callback receives.
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <vector>

#include "device/in_process_library.h"
#include "device/schedule.h"
#include "tests/doubles/double_support.h"
#include "tests/unit/device/fake_clock.h"

namespace {

struct Report {
    kro::LocalTime time;
    std::uint8_t deviceValue;
    void* userData;
};

// Collects the poller's reports; its address is the user data.
class Reports {
public:
    static void Callback(const kro::LocalTime* time, std::uint8_t deviceValue, void* userData) {
        auto* self = static_cast<Reports*>(userData);
        std::lock_guard lock(self->mutex_);
        self->reports_.push_back({*time, deviceValue, userData});
    }
    std::vector<Report> Read() {
        std::lock_guard lock(mutex_);
        return reports_;
    }
    bool WaitForCount(std::size_t count) {
        return kro::test::WaitUntil([&] { return Read().size() >= count; });
    }

private:
    std::mutex mutex_;
    std::vector<Report> reports_;
};

class CScheduleTest : public ::testing::Test {
protected:
    void SetUp() override {
        kro::lastPolledSecond = 0;
        libraryPath = kro::test::PlaceCopy(folder.Path(), kro::test::kCompleteDouble);
        ASSERT_TRUE(library.Load(folder.Text()));
        controls = std::make_unique<kro::test::DoubleControls>(libraryPath);
        ASSERT_TRUE(controls->Valid());
        clock.HoldSteps(true);
        clock.SetSecond(5);
    }

    void TearDown() override {
        clock.HoldSteps(false);
        other.reset();
        poller.reset();
        controls.reset();
        library.Close();
    }

    kro::test::ScratchFolder folder{"schedule"};
    std::filesystem::path libraryPath;
    kro::InProcessLibrary library{kro::SystemModuleLoader()};
    std::unique_ptr<kro::test::DoubleControls> controls;
    kro::test::FakeClock clock;
    kro::test::FakeThreadPriority priority;
    // Everything a poller thread may call back into is a member declared
    // before the pollers, so it outlives them: a local of a test body would
    // go while the poller, stopped only in TearDown, can still report to it.
    Reports reports;
    Reports otherReports;
    Reports restartReports;
    kro::InProcessLibrary unloadedLibrary{kro::SystemModuleLoader()};
    std::unique_ptr<kro::CSchedule> poller = std::make_unique<kro::CSchedule>(clock, priority);
    std::unique_ptr<kro::CSchedule> other;
};

TEST_F(CScheduleTest, FirstPollAsksTheDeviceAndReportsItsAnswer) {
    ASSERT_TRUE(poller->StartPolling(library, &Reports::Callback, &reports));
    ASSERT_TRUE(reports.WaitForCount(1));
    const Report first = reports.Read()[0];
    EXPECT_EQ(first.deviceValue, 2);
    EXPECT_EQ(first.userData, &reports);
    EXPECT_EQ(first.time.second, 5);
    EXPECT_EQ(first.time.hour, 9);
    EXPECT_EQ(first.time.minute, 30);
    EXPECT_EQ(first.time.day, 17);
    EXPECT_EQ(poller->deviceValue.load(), 2);
    EXPECT_EQ(controls->ChecksEntered(), 1);
    // Then it sleeps a second before the next poll.
    EXPECT_TRUE(clock.WaitForSleeps(kro::test::FakeClock::kStepSleep, 1));
}

TEST_F(CScheduleTest, PollInTheSameSecondReportsTheOldValueWithoutAsking) {
    ASSERT_TRUE(poller->StartPolling(library, &Reports::Callback, &reports));
    ASSERT_TRUE(clock.WaitForSleeps(kro::test::FakeClock::kStepSleep, 1));
    controls->SetDeviceValue(7);

    clock.LetOneStepPass();
    ASSERT_TRUE(clock.WaitForSleeps(kro::test::FakeClock::kStepSleep, 2));
    EXPECT_EQ(controls->ChecksEntered(), 1);
    EXPECT_EQ(reports.Read().back().deviceValue, 2);

    clock.SetSecond(6);
    clock.LetOneStepPass();
    ASSERT_TRUE(clock.WaitForSleeps(kro::test::FakeClock::kStepSleep, 3));
    EXPECT_EQ(controls->ChecksEntered(), 2);
    EXPECT_EQ(reports.Read().size(), 3u);
    EXPECT_EQ(reports.Read().back().deviceValue, 7);
    EXPECT_EQ(poller->deviceValue.load(), 7);
}

TEST_F(CScheduleTest, FirstPollOnSecondZeroDoesNotAskAndDeliversZero) {
    clock.SetSecond(0);
    ASSERT_TRUE(poller->StartPolling(library, &Reports::Callback, &reports));
    ASSERT_TRUE(reports.WaitForCount(1));
    EXPECT_EQ(reports.Read()[0].deviceValue, 0);
    EXPECT_EQ(controls->ChecksEntered(), 0);
    EXPECT_EQ(poller->deviceValue.load(), 0);
}

TEST_F(CScheduleTest, PollersShareTheLastPolledSecond) {
    other = std::make_unique<kro::CSchedule>(clock, priority);
    ASSERT_TRUE(other->StartPolling(library, &Reports::Callback, &otherReports));
    ASSERT_TRUE(otherReports.WaitForCount(1));
    ASSERT_TRUE(poller->StartPolling(library, &Reports::Callback, &reports));
    ASSERT_TRUE(reports.WaitForCount(1));
    EXPECT_EQ(controls->ChecksEntered(), 1);
    EXPECT_EQ(reports.Read()[0].deviceValue, 0);
    clock.HoldSteps(false);
    other.reset();
}

TEST_F(CScheduleTest, WithoutALoadedLibraryTheValueStaysAndReportsGoOn) {
    ASSERT_TRUE(poller->StartPolling(unloadedLibrary, &Reports::Callback, &reports));
    clock.LetOneStepPass();
    ASSERT_TRUE(reports.WaitForCount(2));
    EXPECT_EQ(reports.Read()[0].deviceValue, 0);
    EXPECT_EQ(reports.Read()[1].deviceValue, 0);
    EXPECT_EQ(poller->deviceValue.load(), 0);
    EXPECT_EQ(controls->ChecksEntered(), 0);
}

TEST_F(CScheduleTest, StopDuringTheSleepEndsBeforeTheNextPoll) {
    ASSERT_TRUE(poller->StartPolling(library, &Reports::Callback, &reports));
    ASSERT_TRUE(clock.WaitForSleeps(kro::test::FakeClock::kStepSleep, 1));
    poller->RequestStop();
    clock.SetSecond(6);
    clock.LetOneStepPass();
    EXPECT_TRUE(poller->WaitForEnd(600));
    EXPECT_EQ(reports.Read().size(), 1u);
    EXPECT_EQ(controls->ChecksEntered(), 1);
}

// Started again within the second of its last poll, the poller does not
// ask, so what it reports first must be a cleared value, not the card the
// previous run saw.
TEST_F(CScheduleTest, RestartedWithinTheSameSecondReportsZeroFirst) {
    ASSERT_TRUE(poller->StartPolling(library, &Reports::Callback, &reports));
    ASSERT_TRUE(reports.WaitForCount(1)) << "no first report";
    ASSERT_EQ(reports.Read()[0].deviceValue, 2) << "the card was not seen";
    poller->RequestStop();
    clock.LetOneStepPass();
    ASSERT_TRUE(poller->WaitForEnd(600)) << "the poller did not stop";

    ASSERT_TRUE(poller->StartPolling(library, &Reports::Callback, &restartReports));
    ASSERT_TRUE(restartReports.WaitForCount(1)) << "no report after the restart";
    EXPECT_EQ(restartReports.Read()[0].deviceValue, 0);
    EXPECT_EQ(controls->ChecksEntered(), 1) << "the same second must not be asked again";
}

TEST_F(CScheduleTest, StartPollingWhileRunningFailsAndChangesNothing) {
    ASSERT_TRUE(poller->StartPolling(library, &Reports::Callback, &reports));
    ASSERT_TRUE(clock.WaitForSleeps(kro::test::FakeClock::kStepSleep, 1));
    EXPECT_FALSE(poller->StartPolling(library, &Reports::Callback, &otherReports));
    EXPECT_EQ(poller->deviceValue.load(), 2);
    clock.LetOneStepPass();
    ASSERT_TRUE(reports.WaitForCount(2));
    EXPECT_TRUE(otherReports.Read().empty());
}

TEST_F(CScheduleTest, DestroyingARunningPollerEndsItsThreadFirst) {
    clock.HoldSteps(false);
    clock.AdvanceEachReading(true);
    ASSERT_TRUE(poller->StartPolling(library, &Reports::Callback, &reports));
    ASSERT_TRUE(reports.WaitForCount(3));
    poller.reset();
    const std::size_t reported = reports.Read().size();
    const std::int32_t asked = controls->ChecksEntered();
    library.Close();
    EXPECT_EQ(reports.Read().size(), reported);
    EXPECT_EQ(controls->ChecksEntered(), asked);
}

}  // namespace
