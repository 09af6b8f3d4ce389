#include "host_proxy/hosted_library.h"
#include "export/export_worker.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <future>
#include <limits>
#include <map>
#include <optional>
#include <set>

#include "host_proxy/library_host_process.h"
#include "export/completion_text.h"
#include "export/export_request.h"
#include "export_test_support.h"
#include "fake_kro_device.h"
#include "tests/doubles/double_support.h"
#include "tests/support/bounded_wait.h"
#include "tests/unit/simulator/scoped_env.h"
#include "tests/unit/simulator/sim_test_support.h"

namespace kro {
namespace {

namespace fs = std::filesystem;
using fake::ReadWholeFile;
using fake::WriteWholeFile;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

// Names that must never lead to a file anywhere; each is skipped and failed.
const std::vector<std::string> kHostileNames = {
    "../escaped", "..\\escaped", "sub/escaped", "C:escaped", "..",       ".",
    "",           "CON",         "con.jpg",     "LPT1.avi",  "COM9",     "NUL .txt",
    "new\nline",  "trailing.",   "trailing ",   "a*b",       "x:stream",
};

class ExportWorkerTest : public ::testing::Test {
protected:
    ExportWorkerTest() {
        progress_.log = &log_;
        device_.makeAviFile = [this](const char* name) {
            return log_.push_back(std::string("avi ") + name), 1;
        };
        device_.makeKroFile = [this](const char* name) {
            return log_.push_back(std::string("kro ") + name), 1;
        };
        device_.makePictureFile = [this](const char* name, std::int32_t* size, std::uint8_t* buffer) {
            log_.push_back(std::string("picture ") + name);
            const std::string bytes = PictureOf(name);
            std::memcpy(buffer, bytes.data(), bytes.size());
            *size = reportedLength_.value_or(static_cast<std::int32_t>(bytes.size()));
            return 1;
        };
    }

    std::string PictureOf(const std::string& name) const {
        const auto found = pictures_.find(name);
        return found != pictures_.end() ? found->second : "JPEG of " + name;
    }

    ExportJob Job(std::vector<std::string> names, std::int32_t kind = kEventExportKind, bool backup = false,
                  const std::string& folder = "ZiduvOra") {
        ExportJob job;
        job.library = &device_.Library();
        job.selection = std::move(names);
        job.outputFolder = tree_.FolderText(folder);
        job.exportKind = kind;
        job.backup = backup;
        return job;
    }

    ExportSummary Run(const ExportJob& job) {
        return RunExport(job, SystemExportFileSystem(), progress_, trace_);
    }

    fs::path Output(const std::string& name) const { return tree_.Root() / "ZiduvOra" / name; }

    // The library calls in the log, without the progress entries.
    std::vector<std::string> LibraryCalls() const {
        std::vector<std::string> calls;
        for (const auto& entry : log_) {
            if (entry.rfind("avi ", 0) == 0 || entry.rfind("kro ", 0) == 0 ||
                entry.rfind("picture ", 0) == 0) {
                calls.push_back(entry);
            }
        }
        return calls;
    }

    std::vector<std::string> log_;
    std::map<std::string, std::string> pictures_;
    std::optional<std::int32_t> reportedLength_;
    fake::FakeKroDevice device_;
    fake::ScratchTree tree_;
    fake::RecordingProgress progress_;
    fake::RecordingTrace trace_;
};

TEST_F(ExportWorkerTest, ProgressForOneRecording) {
    const ExportSummary summary = Run(Job({"EVT_1"}));
    EXPECT_THAT(log_, ElementsAre("range files 1", "range step 3", "files 0", "step 1", "avi EVT_1",
                                  "files 1", "step 3"));
    EXPECT_EQ(summary.total, 1);
    EXPECT_THAT(summary.failed, IsEmpty());
}

TEST_F(ExportWorkerTest, ProgressForFourRecordings) {
    Run(Job({"A", "B", "C", "D"}));
    EXPECT_THAT(log_, ElementsAre("range files 4", "range step 3",  //
                                  "files 0", "step 1", "avi A",     //
                                  "files 1", "step 2", "avi B",     //
                                  "files 2", "step 0", "avi C",     //
                                  "files 3", "step 1", "avi D", "files 4", "step 3"));
}

TEST_F(ExportWorkerTest, EmptySelectionSetsNoRangeAndFinishesAtOnce) {
    const ExportSummary summary = Run(Job({}));
    EXPECT_THAT(log_, IsEmpty());
    EXPECT_EQ(summary.total, 0);
    EXPECT_THAT(summary.failed, IsEmpty());
    EXPECT_THAT(tree_.Entries(), ElementsAre("ZiduvOra/"));
}

TEST_F(ExportWorkerTest, MissingFolderIsCreatedBeforeTheFirstRecording) {
    const ExportSummary summary = Run(Job({"J1"}, kPhotoExportKind));
    EXPECT_TRUE(summary.folderReady);
    EXPECT_THAT(tree_.Entries(), ElementsAre("ZiduvOra/", "ZiduvOra/J1"));
    EXPECT_EQ(ReadWholeFile(Output("J1")), "JPEG of J1");
}

TEST_F(ExportWorkerTest, PresentFolderIsLeftAsItIs) {
    fs::create_directory(tree_.Root() / "ZiduvOra");
    WriteWholeFile(Output("keep.txt"), "mine");
    Run(Job({"J1"}, kPhotoExportKind));
    EXPECT_THAT(tree_.Entries(), ElementsAre("ZiduvOra/", "ZiduvOra/J1", "ZiduvOra/keep.txt"));
    EXPECT_EQ(ReadWholeFile(Output("keep.txt")), "mine");
}

// Pictures need the folder; the library places AVI and backup files itself.
TEST_F(ExportWorkerTest, FolderThatIsAPlainFileFailsThePicturesAndStaysAFile) {
    WriteWholeFile(tree_.Root() / "ZiduvOra", "not a folder");
    const ExportSummary pictures = Run(Job({"A", "B"}, kPhotoExportKind));
    EXPECT_FALSE(pictures.folderReady);
    EXPECT_THAT(pictures.failed, ElementsAre("A", "B"));
    EXPECT_THAT(LibraryCalls(), IsEmpty());
    for (bool backup : {false, true}) {
        const ExportSummary videos = Run(Job({"C", "D"}, kEventExportKind, backup));
        EXPECT_FALSE(videos.folderReady);
        EXPECT_THAT(videos.failed, IsEmpty());
        // Every conversion was taken, and still the box must not call it complete.
        EXPECT_NE(FormatCompletionText(kExportFolder, videos).find("could not be created"), std::string::npos);
        EXPECT_FALSE(CompletionOffersFolder(videos));
    }
    EXPECT_THAT(LibraryCalls(), ElementsAre("avi C", "avi D", "kro C", "kro D"));
    EXPECT_THAT(tree_.Entries(), ElementsAre("ZiduvOra"));
    EXPECT_EQ(ReadWholeFile(tree_.Root() / "ZiduvOra"), "not a folder");
    EXPECT_NE(FormatCompletionText(kExportFolder, pictures).find("could not be created"), std::string::npos);
}

TEST_F(ExportWorkerTest, OnlyOneFolderLevelIsCreated) {
    const ExportSummary summary = Run(Job({"A"}, kPhotoExportKind, false, "missing/ZiduvOra"));
    EXPECT_FALSE(summary.folderReady);
    EXPECT_THAT(summary.failed, ElementsAre("A"));
    EXPECT_THAT(tree_.Entries(), IsEmpty());
}

TEST_F(ExportWorkerTest, EachKindReachesItsLibraryCall) {
    Run(Job({"e"}, kEventExportKind));
    Run(Job({"n"}, kNormalExportKind));
    Run(Job({"p"}, kParkExportKind));
    Run(Job({"b"}, kBackupExportKind, true));
    Run(Job({"photo-backup"}, ExportButtonFor(RecordingCategory::Photo, true).exportKind, true));
    Run(Job({"j"}, kPhotoExportKind));
    Run(Job({"j2"}, kPhotoExportKind, true));  // the picture kind is tested before the backup flag
    EXPECT_THAT(LibraryCalls(), ElementsAre("avi e", "avi n", "avi p", "kro b", "kro photo-backup",
                                            "picture j", "picture j2"));
    // Only pictures are written by the program.
    EXPECT_THAT(tree_.Entries(), ElementsAre("ZiduvOra/", "ZiduvOra/j", "ZiduvOra/j2"));
}

// A conversion the library reports as not made (the card went, a recording
// it cannot read) is named in the box; the walk goes on with the next name.
TEST_F(ExportWorkerTest, ConversionsTheLibraryDidNotMakeAreCountedFailed) {
    for (const bool backup : {false, true}) {
        auto made = [this](const char* name) { return log_.push_back(name), name[0] == 'A' ? 0 : 1; };
        (backup ? device_.makeKroFile : device_.makeAviFile) = made;
        ExportJob job = Job({"A1", "B", "A2", "C"}, kEventExportKind, backup);
        job.checkLibraryResult = true;
        const ExportSummary summary = Run(job);
        EXPECT_EQ(summary.total, 4) << backup;
        EXPECT_THAT(summary.failed, ElementsAre("A1", "A2")) << backup;
    }
}

TEST_F(ExportWorkerTest, TraceLinesPerRecording) {
    const ExportJob pictures = Job({"J1", "J2"}, kPhotoExportKind);
    Run(pictures);
    Run(Job({"E1"}, kEventExportKind));
    EXPECT_THAT(trace_.lines, ElementsAre("3 \n", "J1 \n", pictures.outputFolder + "J1 \n", "3 \n", "J2 \n",
                                          pictures.outputFolder + "J2 \n", "1 \n"));
}

TEST_F(ExportWorkerTest, HostilePictureNamesWriteNothingAnywhere) {
    std::vector<std::string> selection = {"good-1"};
    selection.insert(selection.end(), kHostileNames.begin(), kHostileNames.end());
    selection.push_back("good-2");
    const ExportSummary summary = Run(Job(selection, kPhotoExportKind));
    EXPECT_THAT(summary.failed, ElementsAreArray(kHostileNames));
    EXPECT_THAT(LibraryCalls(), ElementsAre("picture good-1", "picture good-2"));
    EXPECT_THAT(tree_.Entries(), ElementsAre("ZiduvOra/", "ZiduvOra/good-1", "ZiduvOra/good-2"));
}

TEST_F(ExportWorkerTest, HostileNamesNeverReachTheLibraryForVideoOrBackup) {
    for (bool backup : {false, true}) {
        log_.clear();
        std::vector<std::string> selection = kHostileNames;
        selection.push_back("good");
        const ExportSummary summary = Run(Job(selection, kEventExportKind, backup));
        EXPECT_THAT(summary.failed, ElementsAreArray(kHostileNames));
        EXPECT_THAT(LibraryCalls(), ElementsAre(backup ? "kro good" : "avi good"));
    }
    EXPECT_THAT(tree_.Entries(), ElementsAre("ZiduvOra/"));
}

TEST_F(ExportWorkerTest, PictureLengthOutsideTheBufferWritesNothingAndKeepsAnEarlierFile) {
    fs::create_directory(tree_.Root() / "ZiduvOra");
    WriteWholeFile(Output("earlier"), "earlier picture");
    for (std::int32_t length :
         {0, -1, -kPictureBufferSize, kPictureBufferSize + 1, std::numeric_limits<std::int32_t>::max()}) {
        reportedLength_ = length;
        const ExportSummary summary = Run(Job({"earlier", "fresh"}, kPhotoExportKind));
        EXPECT_THAT(summary.failed, ElementsAre("earlier", "fresh")) << length;
    }
    EXPECT_THAT(tree_.Entries(), ElementsAre("ZiduvOra/", "ZiduvOra/earlier"));
    EXPECT_EQ(ReadWholeFile(Output("earlier")), "earlier picture");
}

// The library is not told the buffer's size: one that writes past it has
// handed over nothing to trust, whatever length it reports.
TEST_F(ExportWorkerTest, LibraryWritingPastThePictureBufferWritesNothingAndKeepsAnEarlierFile) {
    fs::create_directory(tree_.Root() / "ZiduvOra");
    WriteWholeFile(Output("J1"), "earlier picture");
    for (std::size_t past : {std::size_t{0}, std::size_t{1}, std::size_t{4095}}) {
        device_.makePictureFile = [past](const char*, std::int32_t* size, std::uint8_t* buffer) {
            std::memcpy(buffer, "JPEG", 4);
            buffer[kPictureBufferSize + past] ^= 0x01;
            *size = 4;
            return 1;
        };
        const ExportSummary summary = Run(Job({"J1"}, kPhotoExportKind));
        EXPECT_THAT(summary.failed, ElementsAre("J1")) << past;
    }
    EXPECT_EQ(ReadWholeFile(Output("J1")), "earlier picture");
    EXPECT_THAT(tree_.Entries(), ElementsAre("ZiduvOra/", "ZiduvOra/J1"));
}

TEST_F(ExportWorkerTest, PictureFillingTheWholeBufferIsWritten) {
    std::string full(static_cast<std::size_t>(kPictureBufferSize), '\0');
    for (std::size_t i = 0; i < full.size(); ++i) full[i] = static_cast<char>(i * 7);
    pictures_["big"] = full;
    const ExportSummary summary = Run(Job({"big"}, kPhotoExportKind));
    EXPECT_THAT(summary.failed, IsEmpty());
    EXPECT_EQ(ReadWholeFile(Output("big")), full);
}

TEST_F(ExportWorkerTest, SamePictureTwiceReplacesTheFirstWholly) {
    pictures_["J1"] = "a long first picture";
    Run(Job({"J1"}, kPhotoExportKind));
    pictures_["J1"] = "short";
    const ExportSummary summary = Run(Job({"J1"}, kPhotoExportKind));
    EXPECT_THAT(summary.failed, IsEmpty());
    EXPECT_EQ(ReadWholeFile(Output("J1")), "short");
    EXPECT_THAT(tree_.Entries(), ElementsAre("ZiduvOra/", "ZiduvOra/J1"));
}

TEST_F(ExportWorkerTest, PictureOverAFolderFailsAndLeavesNoTemporaryFile) {
    fs::create_directories(tree_.Root() / "ZiduvOra" / "taken");
    const ExportSummary summary = Run(Job({"taken", "free"}, kPhotoExportKind));
    EXPECT_THAT(summary.failed, ElementsAre("taken"));
    EXPECT_THAT(tree_.Entries(), ElementsAre("ZiduvOra/", "ZiduvOra/free", "ZiduvOra/taken/"));
}

TEST_F(ExportWorkerTest, PathBeyondTheBufferIsRefusedBeforeTheLibraryIsAsked) {
    ExportJob job = Job({}, kPhotoExportKind);
    const std::string root = tree_.FolderText("");
    job.outputFolder = root + std::string(1000 - root.size() - 1, 'd') + root.back();
    const std::string name(kMaxExportPathLength + 1 - job.outputFolder.size(), 'n');
    EXPECT_FALSE(ExportOne(job, name, SystemExportFileSystem(), trace_));
    EXPECT_THAT(LibraryCalls(), IsEmpty());
    EXPECT_THAT(tree_.Entries(), IsEmpty());
}

// Accepts every write and remembers its folder and path.
class AcceptingFileSystem final : public ExportFileSystem {
public:
    bool FolderExists(const std::string&) override { return true; }
    bool CreateFolder(const std::string&) override { return true; }
    bool WriteFileReplacing(const std::string& folder, const std::string& path, const std::uint8_t*,
                            std::size_t) override {
        folders.push_back(folder);
        written.push_back(path);
        return true;
    }
    void RemoveStaleTemporaryFiles(const std::string&) override {}
    std::vector<std::string> folders;
    std::vector<std::string> written;
};

TEST_F(ExportWorkerTest, PathsUpTo1023CharactersAreWritten) {
    ExportJob job = Job({}, kPhotoExportKind);
    job.outputFolder = std::string(1000, 'f') + "/";
    const std::string fits(kMaxExportPathLength - job.outputFolder.size(), 'n');
    job.selection = {fits, fits + "n"};
    AcceptingFileSystem fileSystem;
    const ExportSummary summary = RunExport(job, fileSystem, progress_, trace_);
    EXPECT_THAT(fileSystem.written, ElementsAre(job.outputFolder + fits));
    // The temporary file belongs in the export folder, not at the picture's path.
    EXPECT_THAT(fileSystem.folders, ElementsAre(job.outputFolder));
    EXPECT_THAT(summary.failed, ElementsAre(fits + "n"));
}

// What the binding says of each call when the library lives in a host: the
// fake answers, or leaves the outputs alone, returns 0 and sets what the
// binding sets when the host crashed, hung or could not be had.
class FaultingCalls {
public:
    explicit FaultingCalls(std::vector<CallFailure> failures) : failures_(std::move(failures)) {}
    // The next call's failure (None past the end of the list).
    CallFailure Next() {
        const std::size_t call = calls_++;
        return call < failures_.size() ? failures_[call] : CallFailure::None;
    }

private:
    std::vector<CallFailure> failures_;
    std::size_t calls_ = 0;
};

TEST_F(ExportWorkerTest, TheLibrarysFaultsFailTheirRecordingAndThreeInARowOrNoHostEndTheExport) {
    using F = CallFailure;
    using R = RecordingResult;
    const std::vector<std::string> names = {"R0", "R1", "R2", "R3", "R4"};
    const struct {
        std::vector<CallFailure> calls;
        std::vector<std::string> failed;
        std::map<std::size_t, RecordingResult> faults;
        ExportStop stop;
        std::vector<std::string> notExported;
    } cases[] = {
        // One recording the library cannot take costs only that one.
        {{F::HostCrashed}, {"R0"}, {{0, R::LibraryCrashed}}, ExportStop::None, {}},
        {{F::None, F::HostHung}, {"R1"}, {{0, R::LibraryNotAnswering}}, ExportStop::None, {}},
        // Three in a row: the rest are not asked for.
        {{F::HostCrashed, F::HostHung, F::HostCrashed},
         {"R0", "R1", "R2"},
         {{0, R::LibraryCrashed}, {1, R::LibraryNotAnswering}, {2, R::LibraryCrashed}},
         ExportStop::RepeatedLibraryFaults,
         {"R3", "R4"}},
        // An answer between them starts the count again.
        {{F::HostCrashed, F::HostCrashed, F::None, F::HostCrashed, F::HostCrashed},
         {"R0", "R1", "R3", "R4"},
         {{0, R::LibraryCrashed}, {1, R::LibraryCrashed}, {2, R::LibraryCrashed}, {3, R::LibraryCrashed}},
         ExportStop::None,
         {}},
        // Three in a row ending with the last recording leave nothing to stop.
        {{F::None, F::None, F::HostCrashed, F::HostCrashed, F::HostCrashed},
         {"R2", "R3", "R4"},
         {{0, R::LibraryCrashed}, {1, R::LibraryCrashed}, {2, R::LibraryCrashed}},
         ExportStop::None,
         {}},
        // No host to be had: that recording and the rest are not exported.
        {{F::None, F::HostUnavailable}, {}, {}, ExportStop::LibraryUnavailable, {"R1", "R2", "R3", "R4"}},
        // A library that answered "not made" is an ordinary failure.
        {{F::NotReady, F::NotReady, F::NotReady}, {"R0", "R1", "R2"}, {}, ExportStop::None, {}},
    };
    for (const std::int32_t kind : {kEventExportKind, kBackupExportKind, kPhotoExportKind}) {
        for (const auto& expected : cases) {
            const std::string label =
                "kind " + std::to_string(kind) + ", case " + std::to_string(&expected - cases);
            log_.clear();
            fs::remove_all(tree_.Root() / "ZiduvOra");
            FaultingCalls calls(expected.calls);
            std::vector<std::string> asked;
            const auto conversion = [&](const char* name) {
                asked.emplace_back(name);
                const CallFailure failure = calls.Next();
                ThreadCallFailure() = failure;
                return failure == CallFailure::None ? 1 : 0;
            };
            device_.makeAviFile = conversion;
            device_.makeKroFile = conversion;
            device_.makePictureFile = [&](const char* name, std::int32_t* size, std::uint8_t* buffer) {
                const std::int32_t made = conversion(name);
                if (made != 0)
                    *size =
                        static_cast<std::int32_t>(PictureOf(name).copy(reinterpret_cast<char*>(buffer), 64));
                return made;
            };
            ExportJob job = Job(names, kind, kind == kBackupExportKind);
            job.checkLibraryResult = true;
            const ExportSummary summary = Run(job);

            EXPECT_EQ(summary.total, 5) << label;
            EXPECT_EQ(summary.failed, expected.failed) << label;
            EXPECT_EQ(summary.libraryFaults, expected.faults) << label;
            EXPECT_EQ(summary.stop, expected.stop) << label;
            EXPECT_EQ(summary.notExported, expected.notExported) << label;
            // Nothing is asked of the library once the export has stopped
            // (the recording no host was had for was asked, and refused).
            const std::size_t reached = names.size() - expected.notExported.size() +
                                        (expected.stop == ExportStop::LibraryUnavailable ? 1 : 0);
            EXPECT_THAT(asked,
                        ElementsAreArray(names.begin(), names.begin() + static_cast<std::ptrdiff_t>(reached)))
                << label;
            // The bars stand full only when the walk reached its end.
            EXPECT_EQ(std::count(log_.begin(), log_.end(), "files 5"),
                      expected.stop == ExportStop::None ? 1 : 0)
                << label;
            if (kind == kPhotoExportKind) {
                // A picture is written only for an answered call.
                std::set<std::string> written = {"ZiduvOra/"};
                for (const std::string& name : names) {
                    if (std::count(expected.failed.begin(), expected.failed.end(), name) == 0 &&
                        std::count(expected.notExported.begin(), expected.notExported.end(), name) == 0) {
                        written.insert("ZiduvOra/" + name);
                    }
                }
                EXPECT_EQ(tree_.Entries(), written) << label;
            }
        }
    }
}

// A stop raised while a recording is converted lets that one finish as it
// does; the walk begins no further recording and names the rest.
TEST_F(ExportWorkerTest, AStopLetsTheRecordingInProgressEndAndNamesTheRest) {
    std::atomic<bool> stop{false};
    device_.makeAviFile = [&](const char* name) {
        log_.push_back(std::string("avi ") + name);
        if (std::string(name) == "R1") stop = true;
        return 1;
    };
    ExportJob job = Job({"R0", "R1", "R2", "R3"});
    job.checkLibraryResult = true;
    job.stop = &stop;
    const ExportSummary summary = Run(job);
    EXPECT_THAT(LibraryCalls(), ElementsAre("avi R0", "avi R1"));
    EXPECT_THAT(summary.failed, IsEmpty());
    EXPECT_EQ(summary.stop, ExportStop::ByUser);
    EXPECT_THAT(summary.notExported, ElementsAre("R2", "R3"));

    // Raised before the walk: nothing is asked, everything is named.
    log_.clear();
    const ExportSummary before = Run(job);
    EXPECT_THAT(LibraryCalls(), IsEmpty());
    EXPECT_THAT(before.notExported, ElementsAre("R0", "R1", "R2", "R3"));
    EXPECT_EQ(FormatCompletionText(kExportFolder, before)
                  .rfind("The export was stopped.\n4 recordings were not "
                         "exported, as the export stopped before them:\nR0\n",
                         0),
              0u);
}

TEST(ExportWithoutLibrary, EveryRecordingFailsAndNoFileAppears) {
    fake::FakeKroDevice device({"KRO_Create"});
    fake::ScratchTree tree;
    fake::RecordingProgress progress;
    fake::RecordingTrace trace;
    for (std::int32_t kind : {kPhotoExportKind, kEventExportKind}) {
        const KroLibrary* unbound = &device.Library();
        for (const KroLibrary* library : {unbound, static_cast<const KroLibrary*>(nullptr)}) {
            ExportJob job;
            job.library = library;
            job.selection = {"A", "B"};
            job.outputFolder = tree.FolderText("ZiduvOra");
            job.exportKind = kind;
            for (bool backup : {false, true}) {
                job.backup = backup;
                EXPECT_THAT(RunExport(job, SystemExportFileSystem(), progress, trace).failed,
                            ElementsAre("A", "B"));
            }
        }
    }
    EXPECT_THAT(tree.Entries(), ElementsAre("ZiduvOra/"));
}

}  // namespace
}  // namespace kro
