#include "export/completion_text.h"

#include <gtest/gtest.h>

namespace kro {
namespace {

TEST(CompletionText, WithoutFailuresItIsTheFixedQuestion) {
    ExportSummary summary{3, true, {}};
    EXPECT_EQ(
        FormatCompletionText(kExportFolder, summary),
        "Save the conversion is complete.\nThe folder is C:\\ZiduvOra\\. Do you want to open the folder?");
    EXPECT_EQ(
        FormatCompletionText(kExportFolder, ExportSummary{}),
        "Save the conversion is complete.\nThe folder is C:\\ZiduvOra\\. Do you want to open the folder?");
    EXPECT_STREQ(kCompletionCaption, "Saved");
}

TEST(CompletionText, FailuresAreCountedAndNamed) {
    ExportSummary summary{5, true, {"EVT_1", "EVT_4"}};
    EXPECT_EQ(FormatCompletionText(kExportFolder, summary),
              "The export finished with failures.\n"
              "2 of 5 recordings could not be exported:\n"
              "EVT_1\n"
              "EVT_4\n"
              "The folder is C:\\ZiduvOra\\. Do you want to open the folder?");
    EXPECT_TRUE(CompletionOffersFolder(summary));
}

// A folder that could not be created is no success, even when the library
// took every AVI it was asked for, and it is not offered for opening.
TEST(CompletionText, AFolderThatCouldNotBeCreatedIsSaidAndNotOffered) {
    const struct {
        ExportSummary summary;
        const char* text;
    } cases[] = {
        {{3, false, {}},
         "The export finished with failures.\n"
         "The folder C:\\ZiduvOra\\ could not be created.\n"
         "Nothing was saved in it."},
        {{1, false, {"only"}},
         "The export finished with failures.\n"
         "The folder C:\\ZiduvOra\\ could not be created.\n"
         "1 of 1 recording could not be exported:\n"
         "only\n"
         "Nothing was saved in it."},
    };
    for (const auto& [summary, text] : cases) {
        EXPECT_EQ(FormatCompletionText(kExportFolder, summary), text);
        EXPECT_FALSE(CompletionOffersFolder(summary)) << text;
    }
    EXPECT_TRUE(CompletionOffersFolder(ExportSummary{3, true, {}}));
}

TEST(CompletionText, ManyFailuresNameTheFirstTenAndCountTheRest) {
    ExportSummary summary{40, true, {}};
    for (int i = 0; i < 13; ++i) summary.failed.push_back(std::string("F").append(std::to_string(i)));
    const std::string text = FormatCompletionText(kExportFolder, summary);
    EXPECT_NE(text.find("13 of 40 recordings could not be exported:\nF0\nF1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nF9\nand 3 more\nThe folder is"), std::string::npos) << text;
    EXPECT_EQ(text.find("F10"), std::string::npos) << text;
}

TEST(CompletionText, HostileNamesCannotBreakTheLayout) {
    ExportSummary summary{2, true, {"a\nb\rc\x01", ""}};
    EXPECT_EQ(FormatCompletionText(kExportFolder, summary),
              "The export finished with failures.\n"
              "2 of 2 recordings could not be exported:\n"
              "a?b?c?\n"
              "(no name)\n"
              "The folder is C:\\ZiduvOra\\. Do you want to open the folder?");
}

// A library that crashed or stopped answering is named against the
// recording it was converting, and an export that ended early says why and
// names what it never reached.
TEST(CompletionText, LibraryFaultsAndAnEarlyStopAreSaidAndNamed) {
    using R = RecordingResult;
    const struct {
        ExportSummary summary;
        const char* text;
    } cases[] = {
        {{3, true, {"E2"}, {{0, R::LibraryCrashed}}},
         "The export finished with failures.\n"
         "1 of 3 recordings could not be exported:\n"
         "E2 (the device library crashed)\n"
         "The folder is C:\\ZiduvOra\\. Do you want to open the folder?"},
        {{5,
          true,
          {"E1", "E2", "E3"},
          {{0, R::LibraryCrashed}, {2, R::LibraryNotAnswering}},
          ExportStop::RepeatedLibraryFaults,
          {"E4", "E5"}},
         "The export stopped early: the device library failed on 3 recordings in a row.\n"
         "3 of 5 recordings could not be exported:\n"
         "E1 (the device library crashed)\n"
         "E2\n"
         "E3 (the device library stopped answering)\n"
         "2 recordings were not exported, as the export stopped before them:\n"
         "E4\n"
         "E5\n"
         "The folder is C:\\ZiduvOra\\. Do you want to open the folder?"},
        {{2, true, {"E1"}, {{0, R::LibraryNotAnswering}}, ExportStop::ByUser, {"E2"}},
         "The export was stopped.\n"
         "1 of 2 recordings could not be exported:\n"
         "E1 (the device library stopped answering)\n"
         "1 recording was not exported, as the export stopped before it:\n"
         "E2\n"
         "The folder is C:\\ZiduvOra\\. Do you want to open the folder?"},
        {{2, false, {}, {}, ExportStop::LibraryUnavailable, {"a\nb", "E2"}},
         "The export stopped early: the device library could not be started again.\n"
         "The folder C:\\ZiduvOra\\ could not be created.\n"
         "2 recordings were not exported, as the export stopped before them:\n"
         "a?b\n"
         "E2\n"
         "Nothing was saved in it."},
    };
    for (const auto& [summary, text] : cases) {
        EXPECT_EQ(FormatCompletionText(kExportFolder, summary), text);
        EXPECT_EQ(CompletionOffersFolder(summary), summary.folderReady) << text;
    }
}

TEST(CompletionText, ManyRecordingsNotReachedNameTheFirstTenAndCountTheRest) {
    ExportSummary summary{30, true, {}, {}, ExportStop::ByUser, {}};
    for (int i = 0; i < 30; ++i) summary.notExported.push_back("N" + std::to_string(i));
    const std::string text = FormatCompletionText(kExportFolder, summary);
    EXPECT_EQ(text.rfind("The export was stopped.\n30 recordings were not exported, as the export stopped "
                         "before them:\nN0\nN1\n",
                         0),
              0u)
        << text;
    EXPECT_NE(text.find("\nN9\nand 20 more\nThe folder is"), std::string::npos) << text;
    EXPECT_EQ(text.find("N10"), std::string::npos) << text;
}

}  // namespace
}  // namespace kro
