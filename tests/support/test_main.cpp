// The main of every test program: GoogleTest with a per-case watchdog. A case
// that has not finished when its time is up (a thread that never ends, a
// wait that is never satisfied, a box nobody answers) ends the program at
// once with a message naming the case and, on Windows, every window still
// open, instead of hanging until the runner's limit.
//
// The time comes from KRO_TEST_CASE_SECONDS (set per test by CMake), 60 s
// when it is not set.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "tests/support/open_windows.h"

namespace {

int CaseSeconds() {
    const char* text = std::getenv("KRO_TEST_CASE_SECONDS");
    const int seconds = text != nullptr ? std::atoi(text) : 0;
    return seconds > 0 ? seconds : 60;
}

// The deadline of the running case, watched by a thread of its own. Never
// destroyed: the thread waits on it until the process ends.
class CaseDeadline {
public:
    explicit CaseDeadline(int seconds) : limit_(seconds) {
        std::thread([this] { Watch(); }).detach();
    }

    void Start(std::string name) {
        const std::lock_guard lock(mutex_);
        name_ = std::move(name);
        deadline_ = std::chrono::steady_clock::now() + limit_;
        running_ = true;
        changed_.notify_all();
    }

    void Stop() {
        const std::lock_guard lock(mutex_);
        running_ = false;
        changed_.notify_all();
    }

private:
    [[noreturn]] void Fail(const std::string& name) const {
        std::fprintf(stderr, "\n[ WATCHDOG ] %s did not finish within %lld s; ending the program.\n",
                     name.c_str(), static_cast<long long>(limit_.count()));
        const std::string windows = kro::testing::DescribeOpenWindows();
        if (!windows.empty()) std::fprintf(stderr, "[ WATCHDOG ] still open:\n%s", windows.c_str());
        std::fflush(stderr);
        std::fflush(stdout);
        std::_Exit(3);
    }

    void Watch() {
        std::unique_lock lock(mutex_);
        for (;;) {
            if (!running_) {
                changed_.wait(lock);
                continue;
            }
            const auto deadline = deadline_;
            if (changed_.wait_until(lock, deadline) == std::cv_status::timeout && running_ &&
                deadline_ == deadline) {
                Fail(name_);
            }
        }
    }

    const std::chrono::seconds limit_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string name_;
    std::chrono::steady_clock::time_point deadline_;
    bool running_ = false;
};

// GoogleTest owns and deletes its listeners at exit, so the listener only
// forwards to the deadline.
class CaseWatchdog final : public ::testing::EmptyTestEventListener {
public:
    explicit CaseWatchdog(CaseDeadline& deadline) : deadline_(deadline) {}
    void OnTestStart(const ::testing::TestInfo& info) override {
        deadline_.Start(std::string(info.test_suite_name()) + "." + info.name());
    }
    void OnTestEnd(const ::testing::TestInfo&) override { deadline_.Stop(); }

private:
    CaseDeadline& deadline_;
};

#ifndef _WIN32
// The library hosts and probes a test starts crash on purpose. Under a
// sanitizer each crash would first be reported with a symbolized stack,
// which on a busy machine takes longer than the call's deadline and turns the
// crash into a hang. Their sanitizer leaves SIGSEGV to the system; this
// program read its own options at its start and keeps them.
void LetChildProcessesCrashPlainly() {
    for (const char* name : {"ASAN_OPTIONS", "TSAN_OPTIONS"}) {
        const char* old = std::getenv(name);
        const std::string options = old != nullptr && *old != '\0' ? std::string(old) + ":" : std::string();
        setenv(name, (options + "handle_segv=0").c_str(), 1);
    }
}
#endif

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
#ifndef _WIN32
    LetChildProcessesCrashPlainly();
#endif
    // Leaked on purpose: its thread runs until the process ends.
    auto* deadline = new CaseDeadline(CaseSeconds());
    ::testing::UnitTest::GetInstance()->listeners().Append(new CaseWatchdog(*deadline));
    return RUN_ALL_TESTS();
}
