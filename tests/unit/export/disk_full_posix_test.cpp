// Picture export onto a full disk, through the real POSIX file system. A
// file-size limit makes every write fail once a file would pass N bytes,
// after writing what fits, as a disk with N bytes free does; every N across
// a picture is tried. A real tmpfs too small for the pictures, mounted in a
// private mount namespace, shows the same with the kernel's own "no space
// left" (root only; skipped otherwise, with the reason).
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <map>

#include "export/completion_text.h"
#include "export/export_request.h"
#include "export/export_worker.h"
#include "export_test_support.h"
#include "fake_kro_device.h"

namespace kro {
namespace {

namespace fs = std::filesystem;
using fake::ReadWholeFile;
using fake::WriteWholeFile;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

// While it lives, no file of the process grows past `bytes`: the write that
// would pass it writes what fits and the next one fails (EFBIG). The kernel
// also raises SIGXFSZ then, which is ignored meanwhile.
class FileSizeLimit {
public:
    explicit FileSizeLimit(std::size_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{static_cast<rlim_t>(bytes), saved_.rlim_max};
        set_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool Set() const { return set_; }

private:
    rlimit saved_{};
    sighandler_t previous_ = SIG_DFL;
    bool set_ = false;
};

// Bytes that differ from position to position, so a shortened or shifted
// copy never equals the picture.
std::string Picture(std::size_t size, int seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 31 + i / 251 + seed) & 0xFF);
    return bytes;
}

const std::string kEarlier = "the earlier picture of this name";

class DiskFullTest : public ::testing::Test {
protected:
    DiskFullTest() {
        device_.makePictureFile = [this](const char* name, std::int32_t* size, std::uint8_t* buffer) {
            calls_.emplace_back(name);
            const std::string& bytes = pictures_.at(name);
            std::memcpy(buffer, bytes.data(), bytes.size());
            *size = static_cast<std::int32_t>(bytes.size());
            return 1;
        };
    }

    // The export folder afresh, holding an earlier picture named "SAME".
    void FreshFolder() {
        fs::remove_all(Folder());
        fs::create_directory(Folder());
        WriteWholeFile(Folder() / "SAME", kEarlier);
    }

    ExportSummary Export(std::vector<std::string> names) {
        calls_.clear();
        ExportJob job;
        job.library = &device_.Library();
        job.selection = std::move(names);
        job.outputFolder = tree_.FolderText("ZiduvOra");
        job.exportKind = kPhotoExportKind;
        return RunExport(job, SystemExportFileSystem(), progress_, trace_);
    }

    fs::path Folder() const { return tree_.Root() / "ZiduvOra"; }

    fake::FakeKroDevice device_;
    fake::ScratchTree tree_;
    fake::RecordingProgress progress_;
    fake::RecordingTrace trace_;
    std::map<std::string, std::string> pictures_;
    std::vector<std::string> calls_;
};

// "SAME" replaces an earlier picture, "NEW" is a first one, "tiny" is one
// byte: with room for N bytes, the first two fail for every N short of
// their length and leave nothing of theirs behind, and "tiny" is still
// tried and written.
TEST_F(DiskFullTest, EveryCutAcrossAPictureFailsItWhollyAndLaterPicturesAreStillTried) {
    const std::string picture = Picture(256, 1);
    pictures_ = {{"SAME", picture}, {"NEW", Picture(256, 2)}, {"tiny", "J"}};
    for (std::size_t room = 0; room <= picture.size() && !HasFailure(); ++room) {
        SCOPED_TRACE("room for " + std::to_string(room) + " bytes");
        FreshFolder();
        ExportSummary summary;
        {
            const FileSizeLimit limit(room);
            ASSERT_TRUE(limit.Set());
            summary = Export({"SAME", "NEW", "tiny"});
        }
        EXPECT_THAT(calls_, ElementsAre("SAME", "NEW", "tiny"));
        EXPECT_EQ(summary.total, 3);
        if (room < picture.size()) {
            std::vector<std::string> failed = {"SAME", "NEW"};
            std::vector<std::string> entries = {"ZiduvOra/", "ZiduvOra/SAME"};
            if (room == 0) {
                failed.push_back("tiny");
            } else {
                entries.push_back("ZiduvOra/tiny");
            }
            EXPECT_THAT(summary.failed, ElementsAreArray(failed));
            EXPECT_THAT(tree_.Entries(), ElementsAreArray(entries));
            EXPECT_EQ(ReadWholeFile(Folder() / "SAME"), kEarlier);
        } else {
            EXPECT_THAT(summary.failed, IsEmpty());
            EXPECT_EQ(ReadWholeFile(Folder() / "SAME"), picture);
            EXPECT_EQ(ReadWholeFile(Folder() / "NEW"), pictures_["NEW"]);
        }
        if (room >= 1) {
            EXPECT_EQ(ReadWholeFile(Folder() / "tiny"), "J");
        }
    }
}

TEST_F(DiskFullTest, LargestPictureCutAnywhereKeepsTheEarlierOneAndIsReportedToTheUser) {
    const std::string picture = Picture(static_cast<std::size_t>(kPictureBufferSize), 3);
    pictures_ = {{"SAME", picture}};
    for (std::size_t room :
         {std::size_t{1}, std::size_t{4096}, std::size_t{65537}, picture.size() / 2, picture.size() - 1}) {
        SCOPED_TRACE("room for " + std::to_string(room) + " bytes");
        FreshFolder();
        ExportSummary summary;
        {
            const FileSizeLimit limit(room);
            ASSERT_TRUE(limit.Set());
            summary = Export({"SAME"});
        }
        EXPECT_THAT(summary.failed, ElementsAre("SAME"));
        EXPECT_THAT(tree_.Entries(), ElementsAre("ZiduvOra/", "ZiduvOra/SAME"));
        EXPECT_EQ(ReadWholeFile(Folder() / "SAME"), kEarlier);
        EXPECT_NE(FormatCompletionText(kExportFolder, summary).find("1 of 1 recording could not be exported"),
                  std::string::npos);
    }
    const FileSizeLimit limit(picture.size());
    EXPECT_THAT(Export({"SAME"}).failed, IsEmpty());
    EXPECT_EQ(ReadWholeFile(Folder() / "SAME"), picture);
}

// A tmpfs of 64 KiB as the export folder, in a mount namespace of this
// process alone (it ends with the process).
TEST_F(DiskFullTest, SmallTmpfsRefusesWhatDoesNotFitAndTakesWhatDoes) {
    if (geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
    if (unshare(CLONE_NEWNS) != 0) GTEST_SKIP() << "no mount namespace: " << std::strerror(errno);
    ASSERT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0) << std::strerror(errno);
    fs::create_directory(Folder());
    if (mount("tmpfs", Folder().c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs: " << std::strerror(errno);
    WriteWholeFile(Folder() / "SAME", kEarlier);

    pictures_ = {{"big", Picture(200 * 1024, 4)},
                 {"SAME", Picture(61 * 1024, 5)},
                 {"half", Picture(32 * 1024, 6)},
                 {"again", Picture(32 * 1024, 7)}};
    // "big" never fits; "SAME" would fit only if its earlier file were gone
    // first; "half" fits only if the failures gave their room back; then the
    // disk is full for "again".
    const ExportSummary summary = Export({"big", "SAME", "half", "again"});
    EXPECT_THAT(calls_, ElementsAre("big", "SAME", "half", "again"));
    EXPECT_THAT(summary.failed, ElementsAre("big", "SAME", "again"));
    EXPECT_THAT(tree_.Entries(), ElementsAre("ZiduvOra/", "ZiduvOra/SAME", "ZiduvOra/half"));
    EXPECT_EQ(ReadWholeFile(Folder() / "SAME"), kEarlier);
    EXPECT_EQ(ReadWholeFile(Folder() / "half"), pictures_["half"]);
    EXPECT_EQ(umount(Folder().c_str()), 0) << std::strerror(errno);
}

}  // namespace
}  // namespace kro
