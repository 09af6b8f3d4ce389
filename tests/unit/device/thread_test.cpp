// CThread: the order of its hooks, the stop protocol, the bounded wait and
// destruction under a running body.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device/thread.h"
#include "tests/doubles/double_support.h"
#include "tests/unit/device/fake_clock.h"

namespace {

using Events = std::vector<std::string>;

// What the hooks saw, and a gate the steps can be held at. Lives outside the
// thread object so it can be read after the object is gone.
class Journal {
public:
    void Add(const char* event) {
        std::lock_guard lock(mutex_);
        events_.push_back(event);
        changed_.notify_all();
    }
    Events Read() {
        std::lock_guard lock(mutex_);
        return events_;
    }
    bool WaitForCount(std::size_t count) {
        return kro::test::WaitUntil([&] { return Read().size() >= count; });
    }
    void HoldSteps() {
        std::lock_guard lock(mutex_);
        hold_ = true;
    }
    void LetOneStepPass() {
        std::lock_guard lock(mutex_);
        ++permits_;
        changed_.notify_all();
    }
    void PassGate() {
        std::unique_lock lock(mutex_);
        if (!hold_) return;
        changed_.wait(lock, [this] { return permits_ > 0; });
        --permits_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    Events events_;
    bool hold_ = false;
    int permits_ = 0;
};

class ProbeThread final : public kro::CThread {
public:
    ProbeThread(kro::Clock& clock, kro::ThreadPriority& priority, Journal& journal)
        : CThread(clock, priority), journal_(journal) {}
    ~ProbeThread() override { StopThread(); }

    bool prepareResult = true;
    bool beginResult = true;
    int stepsUntilFalse = -1;  // never
    int stepThatThrows = -1;   // never; throws a plain int, no std::exception

protected:
    bool OnPrepare() override {
        journal_.Add("prepare");
        return prepareResult;
    }
    bool OnBegin() override {
        journal_.Add("begin");
        return beginResult;
    }
    bool OnStep() override {
        journal_.Add("step");
        journal_.PassGate();
        if (++steps_ == stepThatThrows) throw steps_;
        return steps_ != stepsUntilFalse;
    }
    void OnEnd() override { journal_.Add("end"); }
    void OnStopped() override { journal_.Add("stopped"); }
    void OnFinished() override { journal_.Add("finished"); }

private:
    Journal& journal_;
    int steps_ = 0;
};

class CThreadTest : public ::testing::Test {
protected:
    kro::test::FakeClock clock;
    kro::test::FakeThreadPriority priority;
    Journal journal;
    ProbeThread thread{clock, priority, journal};
};

TEST_F(CThreadTest, WaitForEndOnANeverStartedThreadReturnsAtOnce) {
    EXPECT_TRUE(thread.WaitForEnd(2));
    EXPECT_EQ(clock.SleepCount(100), 0);
    EXPECT_EQ(journal.Read(), Events{});
}

TEST_F(CThreadTest, StepsRunUntilOneReturnsFalseThenFinishedAndEnd) {
    thread.stepsUntilFalse = 3;
    ASSERT_TRUE(thread.Start());
    EXPECT_TRUE(thread.WaitForEnd(600));
    EXPECT_EQ(journal.Read(), (Events{"prepare", "begin", "step", "step", "step", "finished", "end"}));
    // The body raised its own priority, once.
    EXPECT_EQ(priority.raises.load(), 1);
    EXPECT_FALSE(priority.raisedOnOwner.load());
}

// A step that throws, whatever it throws, ends the body like a finished
// loop would end it for the owner: OnEnd runs and the bounded wait sees the
// end, so nobody waits for a thread that is gone.
TEST_F(CThreadTest, AStepThatThrowsStillEndsTheBodyAndCanStartAgain) {
    thread.stepThatThrows = 2;
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(thread.WaitForEnd(600)) << "the end mark was not raised after a throwing step";
    EXPECT_EQ(journal.Read(), (Events{"prepare", "begin", "step", "step", "end"}));
    thread.stepsUntilFalse = 3;
    ASSERT_TRUE(thread.Start());
    EXPECT_TRUE(thread.WaitForEnd(600));
}

TEST_F(CThreadTest, BeginReturningFalseSkipsEveryStep) {
    thread.beginResult = false;
    ASSERT_TRUE(thread.Start());
    EXPECT_TRUE(thread.WaitForEnd(600));
    EXPECT_EQ(journal.Read(), (Events{"prepare", "begin", "finished", "end"}));
}

TEST_F(CThreadTest, PrepareReturningFalseCancelsTheStart) {
    thread.prepareResult = false;
    EXPECT_FALSE(thread.Start());
    EXPECT_TRUE(thread.WaitForEnd(2));
    EXPECT_EQ(clock.SleepCount(100), 0);
    EXPECT_EQ(journal.Read(), Events{"prepare"});
    EXPECT_EQ(priority.raises.load(), 0);
}

TEST_F(CThreadTest, StopRequestedDuringAStepTakesEffectBeforeTheNextStep) {
    journal.HoldSteps();
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(journal.WaitForCount(3));
    thread.RequestStop();
    EXPECT_EQ(journal.Read(), (Events{"prepare", "begin", "step"}));
    journal.LetOneStepPass();
    EXPECT_TRUE(thread.WaitForEnd(600));
    EXPECT_EQ(journal.Read(), (Events{"prepare", "begin", "step", "stopped", "end"}));
}

TEST_F(CThreadTest, StartWhileRunningFailsAndChangesNothing) {
    journal.HoldSteps();
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(journal.WaitForCount(3));
    EXPECT_FALSE(thread.Start());
    EXPECT_EQ(journal.Read(), (Events{"prepare", "begin", "step"}));
    thread.RequestStop();
    journal.LetOneStepPass();
    EXPECT_TRUE(thread.WaitForEnd(600));
}

TEST_F(CThreadTest, WaitForEndGivesUpAfterTenChecksPerSecond) {
    journal.HoldSteps();
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(journal.WaitForCount(3));
    EXPECT_FALSE(thread.WaitForEnd(2));
    EXPECT_EQ(clock.SleepCount(100), 20);
    thread.RequestStop();
    journal.LetOneStepPass();
    EXPECT_TRUE(thread.WaitForEnd(600));
}

// The body may end before Start returns; the thread must still count as
// ended afterwards, and be startable again.
TEST_F(CThreadTest, ABodyThatEndsAtOnceCanBeStartedAgainAndAgain) {
    thread.beginResult = false;
    for (int run = 0; run < 200; ++run) {
        ASSERT_TRUE(thread.Start()) << run;
        ASSERT_TRUE(thread.WaitForEnd(600)) << run;
    }
    EXPECT_EQ(journal.Read().size(), 200u * 4);
}

TEST(CThreadDestruction, WaitsForABodyStuckInAStepEvenAfterTheBoundedWait) {
    kro::test::FakeClock clock;
    kro::test::FakeThreadPriority priority;
    Journal journal;
    journal.HoldSteps();
    auto thread = std::make_unique<ProbeThread>(clock, priority, journal);
    ASSERT_TRUE(thread->Start());
    ASSERT_TRUE(journal.WaitForCount(3));

    std::atomic<bool> destroyed{false};
    std::thread destroyer([&] {
        thread.reset();
        destroyed = true;
    });
    // The bounded wait runs out; give the destructor a moment in which it
    // could wrongly go on (a pause, not a timing check), then see that it
    // neither finished nor began another wait.
    ASSERT_TRUE(clock.WaitForSleeps(100, 20));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(destroyed.load());
    EXPECT_EQ(clock.SleepCount(100), 20);
    journal.LetOneStepPass();
    destroyer.join();
    EXPECT_TRUE(destroyed.load());
    EXPECT_EQ(clock.SleepCount(100), 20);
    EXPECT_EQ(journal.Read(), (Events{"prepare", "begin", "step", "stopped", "end"}));
}

TEST(CThreadDestruction, StopsARunningThreadBeforeItsMembersGo) {
    kro::test::FakeClock clock;
    kro::test::FakeThreadPriority priority;
    Journal journal;
    {
        ProbeThread thread(clock, priority, journal);
        ASSERT_TRUE(thread.Start());
        ASSERT_TRUE(journal.WaitForCount(5));
    }
    const Events events = journal.Read();
    ASSERT_GE(events.size(), 4u);
    EXPECT_EQ(events[events.size() - 2], "stopped");
    EXPECT_EQ(events.back(), "end");
}

}  // namespace
