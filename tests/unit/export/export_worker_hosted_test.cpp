// The export walk against a real library host serving the simulator: a
// crash fails its recording with the reason and a fresh host goes on, three
// in a row end the export, and a stop ends the host under a stuck conversion.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "export/completion_text.h"
#include "export/export_request.h"
#include "export/export_worker.h"
#include "export_test_support.h"
#include "fake_kro_device.h"
#include "host_proxy/hosted_library.h"
#include "host_proxy/library_host_process.h"
#include "tests/doubles/double_support.h"
#include "tests/support/bounded_wait.h"
#include "tests/unit/simulator/scoped_env.h"
#include "tests/unit/simulator/sim_test_support.h"

namespace kro {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Clears the simulator's fault switches once the walk reaches a recording,
// so that the hosts started from then on behave; and says when the walk
// began its first recording. Called on the walk's thread.
class WalkWatch final : public ExportProgress {
public:
    explicit WalkWatch(std::int32_t faultsEndAt = -1) : faultsEndAt_(faultsEndAt) {}
    void SetRange(ExportBar, std::int32_t) override {}
    void SetPosition(ExportBar bar, std::int32_t position) override {
        if (bar != ExportBar::Files) return;
        if (position == faultsEndAt_) simtest::SetEnvironment("KROSIM_FAULTS", "");
        if (position == 0) begun_.set_value();
    }
    std::future<void> Begun() { return begun_.get_future(); }

private:
    const std::int32_t faultsEndAt_;
    std::promise<void> begun_;
};

// The walk against a real library host (kro_lib_host natively,
// KroLibHost64.exe under Wine) serving the simulator over a small card.
class HostedExportTest : public ::testing::Test {
protected:
    HostedExportTest() {
        simtest::WriteCard(tree_.FolderText("card"), 2,
                           {{"E1", 'E'},
                            {"E2", 'E'},
                            {"E3", 'E'},
                            {"E4", 'E'},
                            {"E5", 'E'},
                            {"0105_073958.JPG", 'J', 0, 0, 1, 0}});
        fs::create_directory(tree_.Root() / "library");
        test::PlaceCopy(tree_.Root() / "library", KRO_SIMULATOR_FILE);
    }

    // The simulator bound through hosts that start with these fault
    // switches (until a WalkWatch clears them).
    const KroLibrary& Bind(const char* faults) {
        faults_.emplace("KROSIM_FAULTS", faults);
        library_ = std::make_unique<HostedLibrary>(SystemLibraryHostLauncher(), "", diagnostics_);
        EXPECT_TRUE(library_->Load((tree_.Root() / "library").string()))
            << "the host did not load the simulator";
        return *library_;
    }

    ExportJob Job(std::vector<std::string> names, std::int32_t kind = kEventExportKind) const {
        ExportJob job;
        job.library = library_.get();
        job.selection = std::move(names);
        job.outputFolder = tree_.FolderText("ZiduvOra");
        job.exportKind = kind;
        job.checkLibraryResult = true;
        return job;
    }

    fake::ScratchTree tree_;
    // The simulator writes its AVI files where the export asks for them.
    simtest::ScopedEnv card_{"KROSIM_CARD", tree_.FolderText("card")};
    simtest::ScopedEnv exports_{"KROSIM_EXPORT_DIR", tree_.FolderText("ZiduvOra")};
    std::optional<simtest::ScopedEnv> faults_;
    fake::RecordingTrace diagnostics_;
    fake::RecordingTrace trace_;
    // Goes first: its host ends before the folders go.
    std::unique_ptr<KroLibrary> library_;
};

TEST_F(HostedExportTest, ACrashFailsItsRecordingWithTheReasonAndAFreshHostExportsTheNext) {
    Bind("crash=avi");
    WalkWatch watch(/*faultsEndAt=*/1);
    const ExportSummary summary = RunExport(Job({"E1", "E2"}), SystemExportFileSystem(), watch, trace_);
    EXPECT_THAT(summary.failed, ElementsAre("E1"));
    EXPECT_EQ(summary.libraryFaults,
              (std::map<std::size_t, RecordingResult>{{0, RecordingResult::LibraryCrashed}}));
    EXPECT_EQ(summary.stop, ExportStop::None);
    EXPECT_THAT(summary.notExported, IsEmpty());
    EXPECT_TRUE(fs::is_regular_file(tree_.Root() / "ZiduvOra" / "E2.avi")) << "the fresh host made no AVI";
    EXPECT_FALSE(fs::exists(tree_.Root() / "ZiduvOra" / "E1.avi"));
    ASSERT_EQ(diagnostics_.lines.size(), 1u);
    EXPECT_EQ(diagnostics_.lines[0].rfind("KROLib: KRO_Make_Avi_File failed: the library host ended", 0), 0u)
        << diagnostics_.lines[0];
    EXPECT_NE(FormatCompletionText(kExportFolder, summary).find("\nE1 (the device library crashed)\n"),
              std::string::npos);
}

TEST_F(HostedExportTest, AHostCrashingOnEveryConversionEndsTheExportAfterThreeAndNamesTheRest) {
    Bind("crash=avi");
    WalkWatch watch;
    const ExportSummary summary =
        RunExport(Job({"E1", "E2", "E3", "E4", "E5"}), SystemExportFileSystem(), watch, trace_);
    EXPECT_THAT(summary.failed, ElementsAre("E1", "E2", "E3"));
    EXPECT_EQ(summary.libraryFaults.size(), 3u);
    for (const auto& [index, fault] : summary.libraryFaults)
        EXPECT_EQ(fault, RecordingResult::LibraryCrashed);
    EXPECT_EQ(summary.stop, ExportStop::RepeatedLibraryFaults);
    EXPECT_THAT(summary.notExported, ElementsAre("E4", "E5"));
    EXPECT_EQ(diagnostics_.lines.size(), 3u) << "one host per recording asked";
}

// The host guards its picture buffer as the program does.
TEST_F(HostedExportTest, APictureTheLibraryWrotePastTheHostsBufferIsNotWritten) {
    Bind("overrun");
    WalkWatch watch;
    const ExportSummary summary =
        RunExport(Job({"0105_073958.JPG"}, kPhotoExportKind), SystemExportFileSystem(), watch, trace_);
    EXPECT_THAT(summary.failed, ElementsAre("0105_073958.JPG"));
    EXPECT_THAT(summary.libraryFaults, IsEmpty());
    EXPECT_THAT(trace_.lines,
                ::testing::Contains("the device library wrote past the picture buffer: 0105_073958.JPG \n"));
    EXPECT_THAT(tree_.Entries(), ::testing::Not(::testing::Contains("ZiduvOra/0105_073958.JPG")));
}

// The progress dialog's stop: the flag, then the host's end under a
// conversion that never returns.
TEST_F(HostedExportTest, AStopEndsTheHostUnderAStuckConversionAndTheWalkNamesTheRest) {
    const KroLibrary& library = Bind("hang=avi");
    std::atomic<bool> stop{false};
    ExportJob job = Job({"E1", "E2", "E3"});
    job.stop = &stop;
    WalkWatch watch;
    std::future<void> begun = watch.Begun();
    auto walk = std::async(std::launch::async,
                           [&] { return RunExport(job, SystemExportFileSystem(), watch, trace_); });
    ASSERT_TRUE(kro::testing::BecomesReady(begun, "the first recording to begin"));
    // Past the stop check: the conversion's call fails whether it reaches
    // the host before its end or after.
    stop = true;
    EXPECT_TRUE(library.EndHost());
    ASSERT_TRUE(kro::testing::BecomesReady(walk, "the walk to come back after the stop"));
    const ExportSummary summary = walk.get();
    EXPECT_THAT(summary.failed, ElementsAre("E1"));
    EXPECT_EQ(summary.libraryFaults,
              (std::map<std::size_t, RecordingResult>{{0, RecordingResult::LibraryNotAnswering}}));
    EXPECT_EQ(summary.stop, ExportStop::ByUser);
    EXPECT_THAT(summary.notExported, ElementsAre("E2", "E3"));
}

}  // namespace
}  // namespace kro
