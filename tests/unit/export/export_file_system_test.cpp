// The export's file system as the platform gives it (POSIX natively, Win32
// under Wine): the temporary file of a write belongs inside the folder it is
// given, and an export clears the program's own stale temporaries and
// nothing else.
#include "export/export_file_system.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "export/export_request.h"
#include "export/export_worker.h"
#include "export/temporary_file_name.h"
#include "export_test_support.h"
#include "fake_kro_device.h"

namespace kro {
namespace {

namespace fs = std::filesystem;
using fake::ReadWholeFile;
using fake::WriteWholeFile;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A process ID no system hands out (Linux stops at 2^22, Windows IDs are
// multiples of 4): its temporaries are stale.
constexpr std::uint32_t kEndedProcess = 2147483647;
// A process that runs wherever the tests do (init, or the namespace's first).
constexpr std::uint32_t kRunningProcess = 1;

TEST(TemporaryFileName, IsLongerThanAnyRecordingNameAndRecognisedExactly) {
    EXPECT_EQ(TemporaryFileName(1234, 7), "~KroFileList-1234-7.tmp");
    EXPECT_GT(TemporaryFileName(0, 0).size(), 16u) << "a recording name has at most 16 bytes";
    for (const auto& [process, counter] :
         {std::pair<std::uint32_t, std::uint32_t>{0, 0}, {1234, 7}, {UINT32_MAX, UINT32_MAX}}) {
        EXPECT_EQ(TemporaryFileProcess(TemporaryFileName(process, counter)), process);
    }
    for (const char* other :
         {"kro1234.tmp", "kroA1B2.tmp", "~KroFileList-1234.tmp", "~KroFileList-1234-.tmp",
          "~KroFileList--7.tmp", "~KroFileList-1234-7.tmp.jpg", "~KroFileList-1234-7.TMP",
          "~krofilelist-1234-7.tmp", "x~KroFileList-1234-7.tmp", "~KroFileList-01234-7.tmp",
          "~KroFileList-1234-07.tmp", "~KroFileList-12a4-7.tmp", "~KroFileList-+1234-7.tmp",
          "~KroFileList-1-2-3.tmp", "~KroFileList-4294967296-7.tmp", "~KroFileList-.tmp",
          "~KroFileList-1234-7.tmp ", "240105_074826E"}) {
        EXPECT_EQ(TemporaryFileProcess(other), std::nullopt) << other;
    }
    EXPECT_NE(NextTemporaryFileCounter(), NextTemporaryFileCounter());
}

class ExportFileSystemTest : public ::testing::Test {
protected:
    ExportFileSystemTest() { fs::create_directory(Folder()); }

    fs::path Folder() const { return tree_.Root() / "ZiduvOra"; }
    std::string FolderText() const { return tree_.FolderText("ZiduvOra"); }
    bool Write(const std::string& folder, const fs::path& path, const std::string& bytes) {
        return SystemExportFileSystem().WriteFileReplacing(
            folder, path.string(), reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }

    fake::ScratchTree tree_;
};

// Given the picture's own path as its folder, a write fails and touches
// nothing, whether the picture is there or not.
TEST_F(ExportFileSystemTest, AWriteWhoseFolderIsNoFolderFailsAndLeavesNothing) {
    const fs::path picture = Folder() / "J1";
    EXPECT_FALSE(Write(picture.string(), picture, "JPEG"));
    EXPECT_FALSE(Write(picture.string() + static_cast<char>(fs::path::preferred_separator), picture, "JPEG"));
    EXPECT_FALSE(Write("", picture, "JPEG"));
    EXPECT_THAT(tree_.Entries(), ElementsAre("ZiduvOra/"));
    WriteWholeFile(picture, "earlier");
    EXPECT_FALSE(Write(picture.string(), picture, "JPEG"));
    EXPECT_FALSE(Write(tree_.FolderText("missing"), picture, "JPEG"));
    EXPECT_THAT(tree_.Entries(), ElementsAre("ZiduvOra/", "ZiduvOra/J1"));
    EXPECT_EQ(ReadWholeFile(picture), "earlier");

    ASSERT_TRUE(Write(FolderText(), picture, "JPEG"));
    EXPECT_EQ(ReadWholeFile(picture), "JPEG");
    EXPECT_THAT(tree_.Entries(), ElementsAre("ZiduvOra/", "ZiduvOra/J1"));
}

TEST_F(ExportFileSystemTest, OnlyTheProgramsOwnStaleTemporariesAreRemoved) {
    const std::string stale = TemporaryFileName(kEndedProcess, 1);
    const std::string staleToo = TemporaryFileName(kEndedProcess, 2);
    const std::string inUse = TemporaryFileName(kRunningProcess, 3);
    const std::string folderLikeOne = TemporaryFileName(kEndedProcess, 4);
    const std::vector<std::string> others = {
        "kro1234.tmp",                  // a recording could be named so
        "~KroFileList-2147483647.tmp",  // the prefix, not the whole pattern
        "~KroFileList-2147483647-5.tmp.jpg",
        "240105_074826E",
        "KroFileListCLI.record",
    };
    for (const std::string& name : {stale, staleToo, inUse}) WriteWholeFile(Folder() / name, "partial");
    for (const std::string& name : others) WriteWholeFile(Folder() / name, "keep " + name);
    fs::create_directory(Folder() / folderLikeOne);
    {
        // Held open as its writer holds it: on Windows without delete
        // sharing; elsewhere its process is known to run.
        std::ofstream writing(Folder() / inUse, std::ios::binary | std::ios::app);
        ASSERT_TRUE(writing.is_open());
        SystemExportFileSystem().RemoveStaleTemporaryFiles(FolderText());
    }

    std::set<std::string> expected = {"ZiduvOra/", "ZiduvOra/" + inUse, "ZiduvOra/" + folderLikeOne + "/"};
    for (const std::string& name : others) expected.insert("ZiduvOra/" + name);
    EXPECT_EQ(tree_.Entries(), expected);
    for (const std::string& name : others) EXPECT_EQ(ReadWholeFile(Folder() / name), "keep " + name);
    EXPECT_EQ(ReadWholeFile(Folder() / inUse), "partial");
}

// Every call the export makes of its file system, in order.
class LoggingFileSystem final : public ExportFileSystem {
public:
    bool FolderExists(const std::string& path) override {
        log.push_back("exists " + path);
        return created;
    }
    bool CreateFolder(const std::string& path) override {
        log.push_back("create " + path);
        created = creatable;
        return creatable;
    }
    bool WriteFileReplacing(const std::string& folder, const std::string& path, const std::uint8_t*,
                            std::size_t) override {
        log.push_back("write " + folder + " " + path);
        return true;
    }
    void RemoveStaleTemporaryFiles(const std::string& folder) override { log.push_back("clear " + folder); }

    bool created = false;
    bool creatable = true;
    std::vector<std::string> log;
};

// The stale temporaries go once the folder is there and before anything is
// written into it; a folder that could not be made is not looked into.
TEST(ExportStart, ClearsStaleTemporariesAfterTheFolderAndBeforeTheFirstPicture) {
    fake::FakeKroDevice device;
    device.makePictureFile = [](const char*, std::int32_t* size, std::uint8_t* buffer) {
        buffer[0] = 0xFF;
        *size = 1;
        return 1;
    };
    fake::RecordingProgress progress;
    fake::RecordingTrace trace;
    ExportJob job;
    job.library = &device.Library();
    job.selection = {"J1", "J2"};
    job.outputFolder = "F/";
    job.exportKind = kPhotoExportKind;

    LoggingFileSystem missing;
    EXPECT_THAT(RunExport(job, missing, progress, trace).failed, IsEmpty());
    EXPECT_THAT(missing.log, ElementsAre("exists F/", "create F/", "exists F/", "clear F/", "write F/ F/J1",
                                         "write F/ F/J2"));
    LoggingFileSystem present;
    present.created = true;
    RunExport(job, present, progress, trace);
    EXPECT_THAT(present.log, ElementsAre("exists F/", "clear F/", "write F/ F/J1", "write F/ F/J2"));
    LoggingFileSystem unmakeable;
    unmakeable.creatable = false;
    EXPECT_THAT(RunExport(job, unmakeable, progress, trace).failed, ElementsAre("J1", "J2"));
    EXPECT_THAT(unmakeable.log, ElementsAre("exists F/", "create F/", "exists F/"));
}

// Through the system's file system: the window's export clears what an
// ended process left, and its pictures land beside the files already there.
TEST_F(ExportFileSystemTest, AnExportRemovesWhatAnEndedExportLeft) {
    const std::string stale = TemporaryFileName(kEndedProcess, 9);
    WriteWholeFile(Folder() / stale, "half a picture");
    WriteWholeFile(Folder() / "kro1234.tmp", "a recording's picture");
    fake::FakeKroDevice device;
    device.makePictureFile = [](const char*, std::int32_t* size, std::uint8_t* buffer) {
        buffer[0] = 'J';
        *size = 1;
        return 1;
    };
    fake::RecordingProgress progress;
    fake::RecordingTrace trace;
    ExportJob job;
    job.library = &device.Library();
    job.selection = {"J1"};
    job.outputFolder = FolderText();
    job.exportKind = kPhotoExportKind;
    EXPECT_THAT(RunExport(job, SystemExportFileSystem(), progress, trace).failed, IsEmpty());
    EXPECT_THAT(tree_.Entries(), ElementsAre("ZiduvOra/", "ZiduvOra/J1", "ZiduvOra/kro1234.tmp"));
}

}  // namespace
}  // namespace kro
