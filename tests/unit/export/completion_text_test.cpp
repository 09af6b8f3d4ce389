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

}  // namespace
}  // namespace kro
