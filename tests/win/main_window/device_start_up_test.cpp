// Device start-up and teardown of the real program, started from a folder
// of its own: without a device library it says so, over its window, and
// starts no poller;
// with one it polls, and closing ends the poller before the library instance
// goes, or, when the poller is stuck in the library, leaves the library be.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "host_proxy/library_host_process.h"
#include "tests/doubles/double_support.h"
#include "win32/owned_handle.h"

namespace kro::testing {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr DWORD kExitMs = 30000;
constexpr wchar_t kMainClass[] = L"MERIN.KROFILELIST";

// The program copied into a scratch folder, started there and stopped by
// the test (never left running).
class Program {
public:
    explicit Program(const test::ScratchFolder& folder) {
        const auto path = test::PlaceCopy(folder.Path(), "KroFileList.exe", "KroFileList.exe");
        // The library's host of this build's architecture goes beside it.
        const char* host = HostFileName(sizeof(void*) == 4 ? HostArchitecture::X86 : HostArchitecture::X64);
        test::PlaceCopy(folder.Path(), host, host);
        std::wstring commandLine = L"\"" + path.wstring() + L"\"";
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                           folder.Path().wstring().c_str(), &startup, &info)) {
            process_.Reset(info.hProcess);
            win32::KernelHandle thread(info.hThread);
            id_ = info.dwProcessId;
        }
    }
    ~Program() {
        if (process_ && !Ended()) {
            TerminateProcess(process_.Get(), 99);
            WaitForSingleObject(process_.Get(), kExitMs);
        }
    }
    bool Started() const { return static_cast<bool>(process_); }
    bool Ended() const { return WaitForSingleObject(process_.Get(), 0) == WAIT_OBJECT_0; }
    bool WaitForExit() const { return WaitForSingleObject(process_.Get(), kExitMs) == WAIT_OBJECT_0; }
    DWORD ExitCode() const {
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process_.Get(), &code);
        return code;
    }
    // The program's window of the given class and title, visible or not.
    HWND Window(const wchar_t* className, const wchar_t* title) const {
        HWND window = nullptr;
        while ((window = FindWindowExW(nullptr, window, className, title)) != nullptr) {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == id_) return window;
        }
        return nullptr;
    }
    HWND MainWindow() const { return Window(kMainClass, nullptr); }

private:
    win32::KernelHandle process_;
    DWORD id_ = 0;
};

std::wstring BoxText(HWND box) {
    wchar_t text[256] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 256);
    return text;
}

std::wstring Title(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

TEST(DeviceStartUp, WithoutALibraryTheProgramSaysSoAndGoesOnWithoutAPoller) {
    test::ScratchFolder folder("no-library");
    Program program(folder);
    ASSERT_TRUE(program.Started());

    HWND box = nullptr;
    ASSERT_TRUE(test::WaitUntil([&] { return (box = program.Window(L"#32770", L"11")) != nullptr; }));
    EXPECT_EQ(BoxText(box), L"KROLib failed...");
    HWND main = GetWindow(box, GW_OWNER);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main, program.MainWindow()) << "the box is owned by the main dialog";
    PostMessageW(box, WM_COMMAND, IDOK, 0);

    ASSERT_TRUE(test::WaitUntil([&] { return IsWindowVisible(main) != FALSE; }));
    // Two card-watch ticks: a second box (or "schedule failed...") would be up.
    Sleep(1200);
    EXPECT_EQ(program.Window(L"#32770", L"11"), nullptr) << "the box came again, or a poller was started";
    EXPECT_EQ(Title(main), L"KroFileList");
    PostMessageW(main, WM_CLOSE, 0, 0);
    ASSERT_TRUE(program.WaitForExit());
    EXPECT_EQ(program.ExitCode(), 0u);
}

TEST(DeviceStartUp, WithALibraryThePollerRunsAndClosingDeletesTheInstanceAfterItsLastCall) {
    test::ScratchFolder folder("complete");
    const auto library = test::PlaceCopy(folder.Path(), test::kCompleteDouble);
    Program program(folder);
    ASSERT_TRUE(program.Started());

    HWND main = nullptr;
    ASSERT_TRUE(test::WaitUntil([&] { return (main = program.MainWindow()) && IsWindowVisible(main); }));
    EXPECT_EQ(program.Window(L"#32770", L"11"), nullptr) << "no start-up box";
    // The double reports a card on disk 2: the watch loads it and names it
    // (Wine maps no drive letter to it).
    ASSERT_TRUE(test::WaitUntil([&] { return Title(main) == L"KroFileList []"; }));
    ASSERT_TRUE(test::WaitUntil([&] {
        const auto log = test::CallLog(library);
        return std::any_of(log.begin(), log.end(),
                           [](const std::string& line) { return line.find("KRO_Get_File_List_tt") == 0; });
    }));

    PostMessageW(main, WM_CLOSE, 0, 0);
    ASSERT_TRUE(program.WaitForExit());
    EXPECT_EQ(program.ExitCode(), 0u);
    const auto log = test::CallLog(library);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front(), "KRO_Create");
    EXPECT_THAT(log, Contains(HasSubstr("KRO_Check_Kro_Device")));
    EXPECT_EQ(log.back(), "KRO_Delete h=4660") << "nothing calls the library after its instance is deleted";
}

TEST(DeviceStartUp, ClosingWhileThePollerIsStuckInTheLibraryLeavesTheLibraryAndEndsTheProcess) {
    test::ScratchFolder folder("blocking");
    const auto library = test::PlaceCopy(folder.Path(), test::kBlockingCheckDouble);
    Program program(folder);
    ASSERT_TRUE(program.Started());

    HWND main = nullptr;
    ASSERT_TRUE(test::WaitUntil([&] { return (main = program.MainWindow()) && IsWindowVisible(main); }));
    // The double logs a check only when it returns, ten seconds after it was
    // entered. The poller asks within its first two seconds (at most once per
    // wall-clock second), so by now it is inside that check.
    Sleep(2500);
    ASSERT_THAT(test::CallLog(library), Not(Contains(HasSubstr("KRO_Check_Kro_Device"))));

    PostMessageW(main, WM_CLOSE, 0, 0);
    ASSERT_TRUE(program.WaitForExit());
    EXPECT_EQ(program.ExitCode(), 0u);
    EXPECT_THAT(test::CallLog(library), Not(Contains(HasSubstr("KRO_Delete"))))
        << "the library was closed under the poller";
}

}  // namespace
}  // namespace kro::testing
