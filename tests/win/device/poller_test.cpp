// The poller on Windows, with the system clock, against the complete double
// loaded through LoadLibraryA: it runs at time-critical priority, its report
// arrives, and ending device access deletes the instance only after it.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>

#include "device/in_process_library.h"
#include "device/device_access.h"
#include "device/thread.h"
#include "tests/doubles/double_support.h"

namespace {

class PriorityProbe final : public kro::CThread {
public:
    PriorityProbe() : CThread(kro::SystemClock(), kro::SystemThreadPriority()) {}
    ~PriorityProbe() override { StopThread(); }
    std::atomic<int> priority{THREAD_PRIORITY_ERROR_RETURN};

protected:
    bool OnBegin() override {
        priority = GetThreadPriority(GetCurrentThread());
        return false;
    }
    bool OnStep() override { return false; }
};

TEST(PollerOnWindows, ThreadRunsAtTimeCriticalPriority) {
    PriorityProbe probe;
    ASSERT_TRUE(probe.Start());
    ASSERT_TRUE(probe.WaitForEnd(10));
    EXPECT_EQ(probe.priority.load(), THREAD_PRIORITY_TIME_CRITICAL);
}

struct Seen {
    std::atomic<int> reports{0};
    std::atomic<int> lastValue{-1};
};

void OnReport(const kro::LocalTime* time, std::uint8_t deviceValue, void* userData) {
    auto* seen = static_cast<Seen*>(userData);
    if (time->year < 2000) return;
    seen->lastValue = deviceValue;
    ++seen->reports;
}

TEST(PollerOnWindows, ReportReachesTheCallbackAndTeardownDeletesAfterThePoller) {
    kro::test::ScratchFolder folder("poller");
    const auto path = kro::test::PlaceCopy(folder.Path(), kro::test::kCompleteDouble);
    kro::InProcessLibrary library(kro::SystemModuleLoader());
    ASSERT_TRUE(library.Load(folder.Text()));
    Seen seen;
    kro::CSchedule poller(kro::SystemClock(), kro::SystemThreadPriority());
    ASSERT_TRUE(poller.StartPolling(library, &OnReport, &seen));
    // The first poll may fall on second 0 and not ask; a later one will.
    ASSERT_TRUE(kro::test::WaitUntil([&] { return seen.lastValue.load() == 2; }));
    EXPECT_EQ(poller.deviceValue.load(), 2);

    EXPECT_TRUE(kro::EndDeviceAccess(poller, library));
    EXPECT_FALSE(kro::test::IsLibraryLoaded(path));
    const auto log = kro::test::CallLog(path);
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log.front(), "KRO_Create");
    EXPECT_EQ(log[log.size() - 2], "KRO_Check_Kro_Device h=4660");
    EXPECT_EQ(log.back(), "KRO_Delete h=4660");
}

}  // namespace
