// The export's file system as the platform gives it (POSIX natively, Win32
// under Wine): the temporary file of a write belongs inside the folder it is
// given.
#include "export/export_file_system.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "export_test_support.h"

namespace kro {
namespace {

namespace fs = std::filesystem;
using fake::ReadWholeFile;
using fake::WriteWholeFile;
using ::testing::ElementsAre;

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

}  // namespace
}  // namespace kro
