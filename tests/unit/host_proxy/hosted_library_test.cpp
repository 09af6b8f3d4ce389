// KroLibrary bound through a real host process (the native twin,
// kro_lib_host, beside this test): the calls answer as in-process ones do,
// a crash or a hang inside the library costs that call and its host, the
// next call gets a fresh host, restarts pause after three ends in a minute,
// and a call stuck in the library is had back by ending its host.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <condition_variable>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "host_proxy/hosted_library.h"
#include "device/kro_library.h"
#include "host_proxy/library_host_process.h"
#include "recording_lists/recording_info_lines.h"
#include "recording_lists/recording_list_loader.h"
#include "tests/unit/recording_lists/recording_sink.h"
#include "tests/doubles/double_support.h"
#include "tests/support/bounded_wait.h"

namespace {

using namespace kro;
using namespace std::chrono_literals;

// The diagnostics lines the binding writes.
class Lines final : public TextSink {
public:
    void Write(std::string_view text) override { lines.emplace_back(text); }
    std::vector<std::string> lines;
};

// The simulator's fault switches for the hosts started while it lives.
class Faults {
public:
    explicit Faults(const char* switches) { setenv("KROSIM_FAULTS", switches, 1); }
    ~Faults() { unsetenv("KROSIM_FAULTS"); }
};

// The system's launcher, whose starts wait while the test keeps them shut.
class GatedLauncher final : public LibraryHostLauncher {
public:
    std::unique_ptr<LibraryHostProcess> Start(HostArchitecture architecture) override {
        std::unique_lock lock(mutex_);
        waiting_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return open_; });
        waiting_ = false;
        lock.unlock();
        return SystemLibraryHostLauncher().Start(architecture);
    }
    void SetOpen(bool open) {
        const std::lock_guard lock(mutex_);
        open_ = open;
        changed_.notify_all();
    }
    bool WaitForAStart() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 10s, [this] { return waiting_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = true;
    bool waiting_ = false;
};

class HostedLibraryTest : public ::testing::Test {
protected:
    // The library placed in the scratch folder, bound through a host with
    // short deadlines for the presence check.
    KroLibrary& Bind(const char* builtLibrary) {
        libraryPath = test::PlaceCopy(folder.Path(), builtLibrary);
        CallDeadlines deadlines;
        deadlines.checkDevice = 1s;
        library = std::make_unique<HostedLibrary>(launcher, "", diagnostics, deadlines);
        return *library;
    }

    GatedLauncher launcher;
    test::ScratchFolder folder{"hosted"};
    std::filesystem::path libraryPath;
    Lines diagnostics;
    std::unique_ptr<KroLibrary> library;
};

TEST_F(HostedLibraryTest, CallsReachTheLibraryInItsHostAndCloseDeletesTheInstance) {
    KroLibrary& bound = Bind(test::kCompleteDouble);
    ASSERT_TRUE(bound.Load(folder.Text()));
    EXPECT_TRUE(bound.IsLoaded());
    EXPECT_NE(bound.Instance(), 0);
    EXPECT_TRUE(bound.HasEntry(KroExport::GetFileListTt));
    EXPECT_FALSE(bound.Load(folder.Text())) << "a second load must fail while loaded";

    std::uint8_t value = 0;
    EXPECT_EQ(bound.CheckDevice(&value), 1);
    EXPECT_EQ(value, 2);
    EXPECT_EQ(KroLibrary::LastCallFailure(), CallFailure::None);
    RecordingIndexInfo info{};
    bound.GetFileIndexInfo(1, "N1", &info);
    bound.Close();
    EXPECT_FALSE(bound.IsLoaded());
    EXPECT_EQ(bound.CheckDevice(&value), 0);

    const auto log = test::CallLog(libraryPath);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front(), "KRO_Create");
    EXPECT_EQ(log.back(), "KRO_Delete h=4660");
    EXPECT_TRUE(diagnostics.lines.empty());
}

TEST_F(HostedLibraryTest, ACrashFailsTheCallKeepsTheValueAndTheNextCallGetsAFreshHost) {
    const Faults faults("crash=check");
    KroLibrary& bound = Bind(KRO_SIMULATOR_FILE);
    ASSERT_TRUE(bound.Load(folder.Text()));

    std::uint8_t value = 7;
    EXPECT_EQ(bound.CheckDevice(&value), 0);
    EXPECT_EQ(value, 7) << "a crash must not read as an answer";
    EXPECT_EQ(KroLibrary::LastCallFailure(), CallFailure::HostCrashed);
    ASSERT_EQ(diagnostics.lines.size(), 1u);
    EXPECT_EQ(diagnostics.lines[0].rfind("KROLib: KRO_Check_Kro_Device failed: the library host ended", 0), 0u)
        << diagnostics.lines[0];

    // A fresh host answers the next call. While it starts, another thread
    // still sees a library it may call (an export checks before each
    // conversion).
    launcher.SetOpen(false);
    auto count = std::async(std::launch::async, [&] {
        const std::int32_t answer = bound.GetFileCount(0);
        return std::make_pair(answer, KroLibrary::LastCallFailure());
    });
    // Opened again however the test leaves, before the call's future waits.
    const struct Reopen {
        GatedLauncher& gated;
        ~Reopen() { gated.SetOpen(true); }
    } reopen{launcher};
    ASSERT_TRUE(launcher.WaitForAStart());
    EXPECT_TRUE(bound.IsLoaded() && bound.HasEntry(KroExport::MakeAviFile)) << "the library seemed gone";
    launcher.SetOpen(true);
    const auto [answer, failure] = count.get();
    EXPECT_GE(answer, 0);
    EXPECT_EQ(failure, CallFailure::None);
    EXPECT_TRUE(bound.IsLoaded());

    // Two more ends within the minute, and restarts pause.
    bound.CheckDevice(&value);
    bound.CheckDevice(&value);
    EXPECT_EQ(diagnostics.lines.size(), 3u);
    EXPECT_EQ(bound.GetFileCount(0), 0);
    EXPECT_EQ(KroLibrary::LastCallFailure(), CallFailure::HostUnavailable);
}

TEST_F(HostedLibraryTest, AHungCallIsEndedAtItsDeadline) {
    const Faults faults("hang=check");
    KroLibrary& bound = Bind(KRO_SIMULATOR_FILE);
    ASSERT_TRUE(bound.Load(folder.Text()));
    std::uint8_t value = 5;
    EXPECT_EQ(bound.CheckDevice(&value), 0);
    EXPECT_EQ(value, 5);
    EXPECT_EQ(KroLibrary::LastCallFailure(), CallFailure::HostHung);
    ASSERT_EQ(diagnostics.lines.size(), 1u);
    EXPECT_NE(diagnostics.lines[0].find("did not answer in time"), std::string::npos) << diagnostics.lines[0];
}

// A conversion has no deadline: one that never returns is had back by
// ending its host (the export's stop, the window's close). Such ends were
// asked for: three within a minute do not pause the restarts.
TEST_F(HostedLibraryTest, EndingTheHostBringsBackACallStuckInTheLibrary) {
    const Faults faults("hang=avi");
    KroLibrary& bound = Bind(KRO_SIMULATOR_FILE);
    ASSERT_TRUE(bound.Load(folder.Text()));
    for (int stop = 0; stop < 3; ++stop) {
        auto conversion = std::async(std::launch::async, [&] {
            const std::int32_t made = bound.MakeAviFile("E0");
            return std::make_pair(made, KroLibrary::LastCallFailure());
        });
        // A pause, not a timing check: time for the call to reach the library.
        std::this_thread::sleep_for(300ms);
        ASSERT_EQ(conversion.wait_for(0s), std::future_status::timeout) << "the hung conversion returned";
        EXPECT_TRUE(bound.EndHost());
        ASSERT_TRUE(kro::testing::BecomesReady(conversion, "the conversion to come back", 10s));
        const auto [made, failure] = conversion.get();
        EXPECT_EQ(made, 0);
        EXPECT_EQ(failure, CallFailure::HostCrashed);
    }
    // Not told as a crash: the end was asked for.
    EXPECT_EQ(diagnostics.lines,
              std::vector<std::string>(
                  3, "KROLib: KRO_Make_Avi_File was cut short: the library host was ended on request\n"));
    bound.GetFileCount(0);
    EXPECT_EQ(KroLibrary::LastCallFailure(), CallFailure::None) << "three stops paused the restarts";
    EXPECT_TRUE(bound.CloseWithin(5s));
}

// A load whose host crashes is tried once more with a fresh host; when that
// crashes too, the load delivers nothing and says the card was not read.
TEST_F(HostedLibraryTest, ALoadWhoseHostCrashesTwiceDeliversNothing) {
    const Faults faults("crash=list");
    KroLibrary& bound = Bind(KRO_SIMULATOR_FILE);
    ASSERT_TRUE(bound.Load(folder.Text()));
    fake::RecordingSink sink;
    const std::atomic<bool> cancel{false};
    EXPECT_EQ(LoadRecordingLists(bound, sink, cancel), LoadOutcome::LibraryFailed);
    EXPECT_TRUE(sink.rows.empty());
    EXPECT_TRUE(sink.summaries.empty());
    EXPECT_EQ(diagnostics.lines.size(), 2u) << "one host per try";
}

// A details call whose host crashed shows no popup rather than zeros.
TEST_F(HostedLibraryTest, ACrashedDetailsCallGivesNoDetails) {
    const Faults faults("crash=info");
    KroLibrary& bound = Bind(KRO_SIMULATOR_FILE);
    ASSERT_TRUE(bound.Load(folder.Text()));
    EXPECT_FALSE(QueryRecordingInfo(bound, RecordingCategory::Event, "E0"));
    EXPECT_TRUE(bound.CloseWithin(5s));
}

TEST_F(HostedLibraryTest, ALibraryThatIsNotThereLoadsNothingAndCallsNothing) {
    library = std::make_unique<HostedLibrary>(SystemLibraryHostLauncher(), "", diagnostics);
    EXPECT_FALSE(library->Load(folder.Text()));
    EXPECT_FALSE(library->IsLoaded());
    std::uint8_t value = 3;
    EXPECT_EQ(library->CheckDevice(&value), 0);
    EXPECT_EQ(value, 3);
    EXPECT_EQ(KroLibrary::LastCallFailure(), CallFailure::NotReady);
}

}  // namespace
