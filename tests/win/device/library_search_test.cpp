// Where a Windows program finds the library file, proven with real
// processes: a copy of the stand-in program and copies of the doubles as
// "KROLib.dll" in folders of the test's own, started from another current
// directory through CreateProcess.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/doubles/double_support.h"

namespace {

using kro::test::CallLog;
using kro::test::PlaceCopy;
using kro::test::ScratchFolder;
using Lines = std::vector<std::string>;

const Lines kLoaded{"KRO_Create", "KRO_Check_Kro_Device h=4660", "KRO_Delete h=4660"};

// Starts program with the folder argument in workingFolder and returns its
// exit code, or -1 when it could not be run.
int RunProgram(const std::filesystem::path& program, const std::string& folder,
               const std::filesystem::path& workingFolder) {
    std::wstring commandLine =
        L"\"" + program.wstring() + L"\" \"" + std::filesystem::path(folder).wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        workingFolder.c_str(), &startup, &process)) {
        return -1;
    }
    CloseHandle(process.hThread);
    DWORD exitCode = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hProcess);
    return static_cast<int>(exitCode);
}

class LibrarySearch : public ::testing::Test {
protected:
    ScratchFolder programFolder{"program"};
    ScratchFolder givenFolder{"given"};
    ScratchFolder elsewhere{"elsewhere"};
    std::filesystem::path program = PlaceCopy(programFolder.Path(), kro::test::kLibraryProbe, "probe.exe");
};

TEST_F(LibrarySearch, LibraryBesideTheProgramIsFoundWhateverTheCurrentDirectory) {
    const auto beside = PlaceCopy(programFolder.Path(), kro::test::kCompleteDouble);
    EXPECT_EQ(RunProgram(program, "", elsewhere.Path()), 0);
    EXPECT_EQ(RunProgram(program, "", programFolder.Path().root_path()), 0);
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

TEST_F(LibrarySearch, LibraryOnlyOnTheSystemSearchPathIsLoadedByItsBareName) {
    // The current directory is part of the system's search order.
    const auto searched = PlaceCopy(elsewhere.Path(), kro::test::kCompleteDouble);
    EXPECT_EQ(RunProgram(program, givenFolder.Text(), elsewhere.Path()), 0);
    EXPECT_EQ(CallLog(searched), kLoaded);
}

TEST_F(LibrarySearch, NoLibraryAnywhereFailsToLoad) {
    EXPECT_EQ(RunProgram(program, givenFolder.Text(), elsewhere.Path()), 1);
}

TEST_F(LibrarySearch, LibraryLackingOnlyTheOptionalExportsLoadsBesideTheProgram) {
    const auto beside = PlaceCopy(programFolder.Path(), kro::test::kNoOptionalDouble);
    EXPECT_EQ(RunProgram(program, "", elsewhere.Path()), 0);
    EXPECT_EQ(CallLog(beside), kLoaded);
}

TEST_F(LibrarySearch, LibraryWhoseCreateFailsIsNotPassedOverForAnother) {
    const auto beside = PlaceCopy(programFolder.Path(), kro::test::kCreateFailsDouble);
    const auto searched = PlaceCopy(elsewhere.Path(), kro::test::kCompleteDouble);
    EXPECT_EQ(RunProgram(program, "", elsewhere.Path()), 1);
    EXPECT_EQ(CallLog(beside), Lines{"KRO_Create"});
    EXPECT_TRUE(CallLog(searched).empty());
}

}  // namespace
