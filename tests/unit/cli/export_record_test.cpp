#include "cli/export_record.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "cli/cli_system.h"

namespace kro::cli {
namespace {

namespace fs = std::filesystem;
using C = RecordingCategory;

ExportRecord Sample() {
    ExportRecord record;
    record.Add(C::Event, 5242928, "240105_074826E");
    record.Add(C::Photo, 81234, "0105_073958.JPG");
    record.Add(C::Photo, 4000, "\xbb\xe7\xb0\xed.JPG");  // a Korean name in code page 949
    return record;
}

TEST(ExportRecordTest, ReadsBackWhatItWrote) {
    const ExportRecord read = ExportRecord::Parse(Sample().Serialize());
    EXPECT_EQ(read.State(), RecordState::Valid);
    EXPECT_EQ(read.Size(), 3u);
    EXPECT_TRUE(read.Contains(C::Event, 5242928, "240105_074826E"));
    EXPECT_TRUE(read.Contains(C::Photo, 4000, "\xbb\xe7\xb0\xed.JPG"));
    // Another list, another size or another name is another recording.
    EXPECT_FALSE(read.Contains(C::Normal, 5242928, "240105_074826E"));
    EXPECT_FALSE(read.Contains(C::Event, 5242929, "240105_074826E"));
    EXPECT_FALSE(read.Contains(C::Event, 5242928, "240105_074826e"));
    EXPECT_EQ(ExportRecord::Parse(ExportRecord().Serialize()).State(), RecordState::Valid);
    EXPECT_EQ(ExportRecord::Parse(std::nullopt).State(), RecordState::Missing);
}

// Every way a record can be damaged: nothing of it is believed.
TEST(ExportRecordTest, ADamagedRecordIsNotTrustedAtAll) {
    const std::string good = Sample().Serialize();
    const std::size_t firstLine = good.find('\n') + 1;
    const std::size_t endLine = good.rfind("end ");
    auto replaced = [&](std::size_t at, std::size_t length, const std::string& with) {
        std::string text = good;
        return text.replace(at, length, with);
    };
    // An entry that names a file outside the folder, with a correct checksum.
    ExportRecord hostile;
    hostile.Add(C::Photo, 1, "..\\evil.JPG");
    const std::vector<std::pair<const char*, std::string>> damaged = {
        {"empty file", ""},
        {"another file's text", "hello\n"},
        {"newer version", replaced(0, firstLine, "KroFileListCLI export record 2\n")},
        {"cut in the end line", good.substr(0, good.size() - 5)},
        {"cut after an entry", good.substr(0, endLine)},
        {"one byte of a name changed", replaced(firstLine + 12, 1, good[firstLine + 12] == 'a' ? "b" : "a")},
        {"a size changed", replaced(good.find(' ', firstLine) + 1, 1, "9")},
        {"an entry removed", replaced(firstLine, good.find('\n', firstLine) + 1 - firstLine, "")},
        {"count too high", replaced(endLine, 5, "end 4")},
        {"checksum in capitals", replaced(endLine + 6, 16, "ABCDEF0123456789")},
        {"text after the end", good + "0 1 61\n"},
        {"list code out of range", replaced(firstLine, 1, "7")},
        {"CR line ends", replaced(firstLine - 1, 1, "\r\n")},
        {"oversized", std::string(kMaxRecordBytes + 1, 'x')},
        {"a name that is no plain file name", hostile.Serialize()},
    };
    for (const auto& [what, text] : damaged) {
        SCOPED_TRACE(what);
        const ExportRecord read = ExportRecord::Parse(text);
        EXPECT_EQ(read.State(), RecordState::Damaged);
        EXPECT_EQ(read.Size(), 0u);
    }
}

class ExportRecordFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("kro_record_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        folderText_ = folder_.string() + "/";
    }
    void TearDown() override { fs::remove_all(folder_); }
    std::optional<std::string> ReadRecord() {
        return SystemCliSystem().ReadFile(folderText_ + kExportRecordName, kMaxRecordBytes);
    }

    fs::path folder_;
    std::string folderText_;
};

// The record is saved after each success; each save leaves a whole record
// under the final name and no temporary file, and a damaged one is replaced.
TEST_F(ExportRecordFileTest, EachSaveReplacesTheWholeRecord) {
    std::ofstream(folder_ / kExportRecordName) << "KroFileListCLI export record 1\n0 12 6162\n";
    ExportRecord record = ExportRecord::Parse(ReadRecord());
    ASSERT_EQ(record.State(), RecordState::Damaged);
    for (int i = 0; i < 5; ++i) {
        record.Add(C::Event, static_cast<std::uint32_t>(1000 + i),
                   std::string("E").append(std::to_string(i)));
        ASSERT_TRUE(record.Save(folderText_, SystemExportFileSystem()));
        const ExportRecord read = ExportRecord::Parse(ReadRecord());
        EXPECT_EQ(read.State(), RecordState::Valid);
        EXPECT_EQ(read.Size(), static_cast<std::size_t>(i + 1));
        EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
    }
}

// A write that fails leaves the earlier record as it was.
TEST_F(ExportRecordFileTest, AFailedSaveKeepsTheEarlierRecord) {
    ASSERT_TRUE(Sample().Save(folderText_, SystemExportFileSystem()));
    ExportRecord bigger = Sample();
    bigger.Add(C::Park, 1, "P1");
    // The folder is gone: the replacing write cannot make its temporary file.
    const std::string missingFolder = folderText_ + "missing/";
    EXPECT_FALSE(bigger.Save(missingFolder, SystemExportFileSystem()));
    EXPECT_EQ(ReadRecord(), Sample().Serialize());
}

}  // namespace
}  // namespace kro::cli
