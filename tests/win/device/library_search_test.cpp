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

// Starts program with the folder argument in workingFolder, with pathFolder
// first on its PATH when given, and returns its exit code, or -1 when it
// could not be run.
int RunProgram(const std::filesystem::path& program, const std::string& folder,
               const std::filesystem::path& workingFolder, const std::filesystem::path& pathFolder = {}) {
    std::wstring commandLine =
        L"\"" + program.wstring() + L"\" \"" + std::filesystem::path(folder).wstring() + L"\"";
    std::wstring environment;
    if (!pathFolder.empty()) {
        wchar_t* block = GetEnvironmentStringsW();
        for (const wchar_t* entry = block; *entry != L'\0'; entry += wcslen(entry) + 1) {
            if (_wcsnicmp(entry, L"PATH=", 5) != 0) environment.append(entry).push_back(L'\0');
        }
        FreeEnvironmentStringsW(block);
        environment.append(L"PATH=" + pathFolder.wstring()).push_back(L'\0');
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_UNICODE_ENVIRONMENT, environment.empty() ? nullptr : environment.data(),
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

// The program runs elevated: the current folder and PATH are folders that
// unelevated processes may write, so a library there is never loaded.
TEST_F(LibrarySearch, LibraryInTheCurrentFolderOrOnPathIsNeverLoaded) {
    ScratchFolder onPath{"on-path"};
    const auto current = PlaceCopy(elsewhere.Path(), kro::test::kCompleteDouble);
    const auto searched = PlaceCopy(onPath.Path(), kro::test::kCompleteDouble);
    EXPECT_EQ(RunProgram(program, givenFolder.Text(), elsewhere.Path(), onPath.Path()), 1);
    EXPECT_EQ(RunProgram(program, "", elsewhere.Path(), onPath.Path()), 1);
    EXPECT_TRUE(CallLog(current).empty());
    EXPECT_TRUE(CallLog(searched).empty());
}

// Where a maker's installer would put a shared library, and only
// administrators write: the third place, after the program's folder.
TEST_F(LibrarySearch, LibraryInTheSystemFolderIsLoadedWhenNoneIsBesideTheProgram) {
    wchar_t system[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    ASSERT_GT(length, 0u);
    const std::filesystem::path systemFolder(std::wstring(system, length));
    ASSERT_FALSE(std::filesystem::exists(systemFolder / kKroLibraryFileName));
    struct Removed {
        std::filesystem::path library;
        ~Removed() {
            std::error_code ignored;
            std::filesystem::remove(library, ignored);
            std::filesystem::remove(library.string() + ".log", ignored);
        }
    } const placed{PlaceCopy(systemFolder, kro::test::kCompleteDouble)};
    EXPECT_EQ(RunProgram(program, givenFolder.Text(), elsewhere.Path()), 0);
    EXPECT_EQ(CallLog(placed.library), kLoaded);

    const auto beside = PlaceCopy(programFolder.Path(), kro::test::kCompleteDouble);
    EXPECT_EQ(RunProgram(program, "", elsewhere.Path()), 0);
    EXPECT_EQ(CallLog(beside), kLoaded);
    EXPECT_EQ(CallLog(placed.library), kLoaded);
}

// The program's folder is read with the wide API: a name outside the ANSI
// code page (neither 1252 nor 949 has Thai or Devanagari) is no '?' that
// would make the load look elsewhere.
TEST_F(LibrarySearch, ProgramFolderNamedOutsideTheAnsiCodePageWorks) {
    const std::filesystem::path folder =
        programFolder.Path() / std::filesystem::path(L"\u0e44\u0e17\u0e22-\u0928\u092e");
    std::filesystem::create_directory(folder);
    const auto probe = PlaceCopy(folder, kro::test::kLibraryProbe, "probe.exe");
    EXPECT_EQ(RunProgram(probe, "", elsewhere.Path()), 1);
    PlaceCopy(folder, kro::test::kCompleteDouble);
    EXPECT_EQ(RunProgram(probe, "", elsewhere.Path()), 0);
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
    const auto given = PlaceCopy(givenFolder.Path(), kro::test::kCreateFailsDouble);
    const auto beside = PlaceCopy(programFolder.Path(), kro::test::kCompleteDouble);
    EXPECT_EQ(RunProgram(program, givenFolder.Text(), elsewhere.Path()), 1);
    EXPECT_EQ(CallLog(given), Lines{"KRO_Create"});
    EXPECT_TRUE(CallLog(beside).empty());
}

}  // namespace
