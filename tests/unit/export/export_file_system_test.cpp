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
using ::testing::IsEmpty;

const std::uint8_t* Bytes(const std::string& text) {
    return reinterpret_cast<const std::uint8_t*>(text.data());
}

TEST(ExportFileSystem, OnlyAFolderCountsAsAFolder) {
    fake::ScratchTree tree;
    ExportFileSystem& system = SystemExportFileSystem();
    fs::create_directory(tree.Root() / "dir");
    WriteWholeFile(tree.Root() / "file", "x");
    EXPECT_TRUE(system.FolderExists(tree.FolderText("dir")));
    EXPECT_TRUE(system.FolderExists((tree.Root() / "dir").string()));
    EXPECT_FALSE(system.FolderExists(tree.FolderText("file")));
    EXPECT_FALSE(system.FolderExists((tree.Root() / "file").string()));
    EXPECT_FALSE(system.FolderExists(tree.FolderText("missing")));
}

TEST(ExportFileSystem, CreatesOneLevelOnly) {
    fake::ScratchTree tree;
    ExportFileSystem& system = SystemExportFileSystem();
    EXPECT_TRUE(system.CreateFolder(tree.FolderText("one")));
    EXPECT_FALSE(system.CreateFolder(tree.FolderText("two/three")));
    EXPECT_THAT(tree.Entries(), ElementsAre("one/"));
}

TEST(ExportFileSystem, WritesAndReplacesWithoutLeavingTemporaryFiles) {
    fake::ScratchTree tree;
    ExportFileSystem& system = SystemExportFileSystem();
    const std::string folder = tree.FolderText("");
    const std::string first = "first content, longer";
    const std::string second = "second";
    ASSERT_TRUE(system.WriteFileReplacing(folder, folder + "pic", Bytes(first), first.size()));
    EXPECT_EQ(ReadWholeFile(tree.Root() / "pic"), first);
    ASSERT_TRUE(system.WriteFileReplacing(folder, folder + "pic", Bytes(second), second.size()));
    EXPECT_EQ(ReadWholeFile(tree.Root() / "pic"), second);
    EXPECT_THAT(tree.Entries(), ElementsAre("pic"));
}

TEST(ExportFileSystem, FailedReplaceKeepsTheTargetAndCleansUp) {
    fake::ScratchTree tree;
    ExportFileSystem& system = SystemExportFileSystem();
    fs::create_directory(tree.Root() / "dir");
    WriteWholeFile(tree.Root() / "dir" / "inside", "kept");
    const std::string folder = tree.FolderText("");
    const std::string data = "data";
    EXPECT_FALSE(system.WriteFileReplacing(folder, folder + "dir", Bytes(data), data.size()));
    EXPECT_THAT(tree.Entries(), ElementsAre("dir/", "dir/inside"));
    EXPECT_EQ(ReadWholeFile(tree.Root() / "dir" / "inside"), "kept");
}

TEST(ExportFileSystem, WriteIntoAMissingFolderFails) {
    fake::ScratchTree tree;
    const std::string folder = tree.FolderText("missing");
    const std::string data = "data";
    EXPECT_FALSE(
        SystemExportFileSystem().WriteFileReplacing(folder, folder + "pic", Bytes(data), data.size()));
    EXPECT_THAT(tree.Entries(), IsEmpty());
}

}  // namespace
}  // namespace kro
