// Where a program finds the library file, proven with real processes: a copy
// of the stand-in program and copies of the complete double in folders of
// the test's own, run from another current directory.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/doubles/double_support.h"

extern char** environ;

namespace {

using kro::test::CallLog;
using kro::test::PlaceCopy;
using kro::test::ScratchFolder;

const std::vector<std::string> kLoaded{"KRO_Create", "KRO_Check_Kro_Device h=4660", "KRO_Delete h=4660"};

// Runs program with one argument in workingFolder; libraryPath, when not
// empty, becomes the system's library search path. Returns the exit code.
int RunProgram(const std::filesystem::path& program, const std::string& argument,
               const std::filesystem::path& workingFolder, const std::string& libraryPath = "") {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "LD_LIBRARY_PATH=", 16) != 0) environment.emplace_back(*entry);
    }
    if (!libraryPath.empty()) environment.push_back("LD_LIBRARY_PATH=" + libraryPath);
    std::vector<char*> envp;
    for (auto& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);

    std::string programText = program.string();
    std::string argumentText = argument;
    char* argv[] = {programText.data(), argumentText.data(), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
    pid_t child = 0;
    const int spawned = posix_spawn(&child, programText.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

class LibrarySearch : public ::testing::Test {
protected:
    ScratchFolder programFolder{"program"};
    ScratchFolder givenFolder{"given"};
    ScratchFolder elsewhere{"elsewhere"};
    std::filesystem::path program = PlaceCopy(programFolder.Path(), kro::test::kLibraryProbe, "probe");
};

TEST_F(LibrarySearch, LibraryBesideTheProgramIsFoundWhateverTheCurrentDirectory) {
    const auto beside = PlaceCopy(programFolder.Path(), kro::test::kCompleteDouble);
    EXPECT_EQ(RunProgram(program, "", elsewhere.Path()), 0);
    EXPECT_EQ(RunProgram(program, "", "/"), 0);
    EXPECT_EQ(CallLog(beside).size(), 2 * kLoaded.size());
}

TEST_F(LibrarySearch, GivenFolderComesBeforeTheProgramFolder) {
    const auto given = PlaceCopy(givenFolder.Path(), kro::test::kCompleteDouble);
    const auto beside = PlaceCopy(programFolder.Path(), kro::test::kCompleteDouble);
    EXPECT_EQ(RunProgram(program, givenFolder.Text(), elsewhere.Path()), 0);
    EXPECT_EQ(CallLog(given), kLoaded);
    EXPECT_TRUE(CallLog(beside).empty());
}

TEST_F(LibrarySearch, GivenFolderWithoutTheLibraryFallsBackToTheProgramFolder) {
    const auto beside = PlaceCopy(programFolder.Path(), kro::test::kCompleteDouble);
    EXPECT_EQ(RunProgram(program, givenFolder.Text(), elsewhere.Path()), 0);
    EXPECT_EQ(CallLog(beside), kLoaded);
}

TEST_F(LibrarySearch, LibraryOnTheSearchPathOrInTheCurrentFolderIsNeverLoaded) {
    const auto onPath = PlaceCopy(elsewhere.Path(), kro::test::kCompleteDouble);
    EXPECT_EQ(RunProgram(program, givenFolder.Text(), elsewhere.Path(), elsewhere.Text()), 1);
    EXPECT_EQ(RunProgram(program, "", elsewhere.Path(), elsewhere.Text()), 1);
    EXPECT_TRUE(CallLog(onPath).empty());
}

TEST_F(LibrarySearch, NoLibraryAnywhereFailsToLoad) {
    EXPECT_EQ(RunProgram(program, givenFolder.Text(), elsewhere.Path()), 1);
}

TEST_F(LibrarySearch, FailingLibraryInTheGivenFolderIsNotPassedOverForAnother) {
    const auto given = PlaceCopy(givenFolder.Path(), kro::test::kCreateFailsDouble);
    const auto beside = PlaceCopy(programFolder.Path(), kro::test::kCompleteDouble);
    EXPECT_EQ(RunProgram(program, givenFolder.Text(), elsewhere.Path()), 1);
    EXPECT_EQ(CallLog(given), std::vector<std::string>{"KRO_Create"});
    EXPECT_TRUE(CallLog(beside).empty());
}

}  // namespace
