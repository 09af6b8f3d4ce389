// KroLibrary bound through a real host process (the native twin,
// kro_lib_host, beside this test): the calls answer as in-process ones do,
// a crash or a hang inside the library costs that call and its host, the
// next call gets a fresh host, restarts pause after three ends in a minute,
// and a call stuck in the library is had back by ending its host, even while
// that host's process lingers.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/kro_library.h"
#include "host_proxy/hosted_library.h"
#include "host_proxy/library_host_process.h"
#include "recording_lists/recording_info_lines.h"
#include "recording_lists/recording_list_loader.h"
#include "tests/doubles/double_support.h"
#include "tests/support/bounded_wait.h"
#include "tests/unit/host_link/wire_fixtures.h"
#include "tests/unit/recording_lists/recording_sink.h"

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

// A host that lingers after it was told to end, as one does whose thread
// waits on a wedged card reader: its channel is aborted, but its process
// runs on until the test lets it go. The test sees it through its Fate,
// which outlives it.
struct Fate {
    std::atomic<bool> told{false};
    std::atomic<bool> released{false};
    std::atomic<bool> destroyed{false};
    bool Lingers() const { return told && !released; }
};

class LingeringHost final : public LibraryHostProcess {
public:
    LingeringHost(std::unique_ptr<LibraryHostProcess> real, std::shared_ptr<Fate> fate)
        : real_(std::move(real)), fate_(std::move(fate)) {}
    ~LingeringHost() override { fate_->destroyed = true; }
    LibraryChannel& Channel() override { return real_->Channel(); }
    void End() override {
        real_->Channel().Abort();
        fate_->told = true;
    }
    bool WaitForEnd(std::chrono::milliseconds wait) override { return Released() && real_->WaitForEnd(wait); }
    std::optional<std::uint32_t> ExitCode() override { return Released() ? real_->ExitCode() : std::nullopt; }

private:
    // Once the test has let it go, it ends as the real one does.
    bool Released() {
        if (!fate_->released) return false;
        real_->End();
        return true;
    }

    std::unique_ptr<LibraryHostProcess> real_;
    std::shared_ptr<Fate> fate_;
};

// Starts the system's hosts as lingering ones.
class LingeringLauncher final : public LibraryHostLauncher {
public:
    std::unique_ptr<LibraryHostProcess> Start(HostArchitecture architecture) override {
        const std::lock_guard lock(mutex_);
        fates_.push_back(std::make_shared<Fate>());
        return std::make_unique<LingeringHost>(SystemLibraryHostLauncher().Start(architecture),
                                               fates_.back());
    }
    int Lingering() {
        const std::lock_guard lock(mutex_);
        return static_cast<int>(
            std::count_if(fates_.begin(), fates_.end(), [](auto& f) { return f->Lingers(); }));
    }
    // Lets the oldest lingering host go; its fate.
    std::shared_ptr<Fate> ReleaseOldest() {
        const std::lock_guard lock(mutex_);
        for (auto& fate : fates_) {
            if (!fate->Lingers()) continue;
            fate->released = true;
            return fate;
        }
        return nullptr;
    }

private:
    std::mutex mutex_;
    std::vector<std::shared_ptr<Fate>> fates_;
};

// A conversion started on a thread of its own, hung in the library. A call
// before it has the host started, so that the stop finds the conversion in
// the library rather than in a start.
std::future<std::pair<std::int32_t, CallFailure>> StuckConversion(const KroLibrary& bound) {
    bound.GetFileCount(0);
    EXPECT_EQ(KroLibrary::LastCallFailure(), CallFailure::None);
    auto conversion = std::async(std::launch::async, [&bound] {
        const std::int32_t made = bound.MakeAviFile("E0");
        return std::make_pair(made, KroLibrary::LastCallFailure());
    });
    // A pause, not a timing check: time for the call to reach the library.
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(conversion.wait_for(0s), std::future_status::timeout) << "the hung conversion returned";
    return conversion;
}

void ExpectCutShort(std::future<std::pair<std::int32_t, CallFailure>>& conversion) {
    ASSERT_TRUE(kro::testing::BecomesReady(conversion, "the conversion to come back", 10s));
    EXPECT_EQ(conversion.get(), std::make_pair(0, CallFailure::HostCrashed));
}

constexpr char kCutShortLine[] =
    "KROLib: KRO_Make_Avi_File was cut short: the library host was ended on request\n";

class HostedLibraryTest : public ::testing::Test {
protected:
    // The library placed in the scratch folder, bound through a host with
    // short deadlines for the presence check.
    KroLibrary& Bind(const char* builtLibrary, LibraryHostLauncher* hosts = nullptr) {
        libraryPath = test::PlaceCopy(folder.Path(), builtLibrary);
        CallDeadlines deadlines;
        deadlines.checkDevice = 1s;
        library =
            std::make_unique<HostedLibrary>(hosts != nullptr ? *hosts : launcher, "", diagnostics, deadlines);
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
    EXPECT_EQ(diagnostics.lines[0].rfind("KROLib: KRO_Check_Kro_Device failed: the library host ended", 0),
              0u)
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
        auto conversion = StuckConversion(bound);
        EXPECT_TRUE(bound.EndHost());
        ExpectCutShort(conversion);
    }
    // Not told as a crash: the end was asked for.
    EXPECT_EQ(diagnostics.lines, std::vector<std::string>(3, kCutShortLine));
    bound.GetFileCount(0);
    EXPECT_EQ(KroLibrary::LastCallFailure(), CallFailure::None) << "three stops paused the restarts";
    EXPECT_TRUE(bound.CloseWithin(5s));
}

// The window's close: CloseWithin ends the host of a call stuck in it by
// itself, within its bound.
TEST_F(HostedLibraryTest, CloseWithinEndsTheHostOfACallStuckInIt) {
    const Faults faults("hang=avi");
    KroLibrary& bound = Bind(KRO_SIMULATOR_FILE);
    ASSERT_TRUE(bound.Load(folder.Text()));
    auto conversion = StuckConversion(bound);
    EXPECT_TRUE(bound.CloseWithin(5s)) << "the close gave up on the stuck conversion";
    ExpectCutShort(conversion);
    EXPECT_FALSE(bound.IsLoaded());
}

// A stop while the host is still starting (a close right after the start)
// ends that host before its load, so the start fails at once.
TEST_F(HostedLibraryTest, AStopWhileTheHostStartsEndsItBeforeItsLoad) {
    KroLibrary& bound = Bind(KRO_SIMULATOR_FILE);
    launcher.SetOpen(false);
    auto load = std::async(std::launch::async, [&] { return bound.Load(folder.Text()); });
    const struct Reopen {
        GatedLauncher& gated;
        ~Reopen() { gated.SetOpen(true); }
    } reopen{launcher};
    ASSERT_TRUE(launcher.WaitForAStart());
    EXPECT_TRUE(bound.EndHost());
    launcher.SetOpen(true);
    ASSERT_TRUE(kro::testing::BecomesReady(load, "the load to come back", 30s));
    EXPECT_FALSE(load.get()) << "the stop asked during the start was lost";
    EXPECT_EQ(diagnostics.lines,
              std::vector<std::string>{
                  "KROLib: KRO_Create was cut short: the library host was ended on request\n"});
    EXPECT_TRUE(bound.Load(folder.Text())) << "the stop outlived the start it ended";
}

// A host whose process lingers after its end holds neither the stopped call
// nor the next one, which gets a fresh host. At most two linger: a further
// start waits until one of them has gone.
TEST_F(HostedLibraryTest, AHostThatLingersHoldsNeitherTheStopNorTheNextCall) {
    const Faults faults("hang=avi");
    LingeringLauncher hosts;
    KroLibrary& bound = Bind(KRO_SIMULATOR_FILE, &hosts);
    ASSERT_TRUE(bound.Load(folder.Text()));
    for (int stop = 1; stop <= 2; ++stop) {
        auto conversion = StuckConversion(bound);
        EXPECT_TRUE(bound.EndHost());
        ExpectCutShort(conversion);
        EXPECT_EQ(hosts.Lingering(), stop) << "the call came back only once its host had gone";
    }
    bound.GetFileCount(0);
    EXPECT_EQ(KroLibrary::LastCallFailure(), CallFailure::HostUnavailable) << "a third host was started";
    EXPECT_EQ(diagnostics.lines.back(),
              "KROLib: earlier library hosts are still ending; no fresh host is started until one has gone\n");
    const auto gone = hosts.ReleaseOldest();
    ASSERT_TRUE(gone);
    bound.GetFileCount(0);
    EXPECT_EQ(KroLibrary::LastCallFailure(), CallFailure::None) << "the host that went left no room";
    EXPECT_TRUE(gone->destroyed) << "the host that went was kept";
    EXPECT_EQ(hosts.Lingering(), 1);
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

// A host of another protocol version, as a half-updated installation would
// start: it answers the greeting with its own version and serves nothing.
class OtherVersionLauncher final : public LibraryHostLauncher {
public:
    std::unique_ptr<LibraryHostProcess> Start(HostArchitecture) override {
        ++starts;
        return std::make_unique<Host>();
    }
    int starts = 0;

private:
    class Host final : public LibraryHostProcess {
    public:
        Host() { pair_.Send(EncodeGreeting(true, kProtocolVersion + 1)); }
        LibraryChannel& Channel() override { return *pair_.channel; }
        void End() override { pair_.ClosePeer(); }
        bool WaitForEnd(std::chrono::milliseconds) override { return pair_.peer < 0; }
        std::optional<std::uint32_t> ExitCode() override {
            return pair_.peer < 0 ? std::optional<std::uint32_t>(6) : std::nullopt;
        }

    private:
        wire_test::SocketPair pair_;
    };
};

TEST_F(HostedLibraryTest, AHostOfAnotherProtocolVersionIsRefusedOnceAndNeverRestarted) {
    OtherVersionLauncher otherVersion;
    library = std::make_unique<HostedLibrary>(otherVersion, "", diagnostics);
    EXPECT_FALSE(library->Load(folder.Text()));
    ASSERT_EQ(diagnostics.lines.size(), 1u);
    EXPECT_EQ(diagnostics.lines[0], "KROLib: the library host KroLibHost64.exe speaks protocol version " +
                                        std::to_string(kProtocolVersion + 1) + ", this program version " +
                                        std::to_string(kProtocolVersion) +
                                        "; install KroFileList again so that they match\n");
    std::uint8_t value = 3;
    for (int call = 0; call < 5; ++call) {
        EXPECT_FALSE(library->Load(folder.Text()));
        EXPECT_EQ(library->CheckDevice(&value), 0);
    }
    EXPECT_EQ(value, 3);
    EXPECT_EQ(otherVersion.starts, 1) << "a host of another version must not be started again";
    EXPECT_EQ(diagnostics.lines.size(), 1u);
}

}  // namespace
