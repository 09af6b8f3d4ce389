// The real KroFileList.exe, started as a user starts it: one copy runs per
// logon session, a second start raises the running copy's window and ends
// without one, and closing the window ends the process.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "win32/owned_handle.h"

namespace kro::testing {
namespace {

constexpr wchar_t kMainClass[] = L"MERIN.KROFILELIST";
// Generous bounds for a slow machine; the tests never measure time.
constexpr DWORD kStartMs = 30000;
constexpr DWORD kExitMs = 30000;

std::wstring ProgramPath() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    folder.resize(folder.find_last_of(L'\\') + 1);
    return folder + L"KroFileList.exe";
}

class Program {
public:
    bool Start() {
        std::wstring commandLine = L"\"" + ProgramPath() + L"\"";
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &info)) {
            return false;
        }
        process_.Reset(info.hProcess);
        win32::KernelHandle thread(info.hThread);
        id_ = info.dwProcessId;
        return true;
    }
    // True when the process ended within the wait.
    bool WaitForExit(DWORD ms) const { return WaitForSingleObject(process_.Get(), ms) == WAIT_OBJECT_0; }
    bool IsRunning() const { return WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT; }
    DWORD ExitCode() const {
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process_.Get(), &code);
        return code;
    }
    DWORD Id() const { return id_; }
    ~Program() {
        if (process_ && IsRunning()) {
            TerminateProcess(process_.Get(), 99);
            WaitForExit(kExitMs);
        }
    }

private:
    win32::KernelHandle process_;
    DWORD id_ = 0;
};

struct MainWindow {
    HWND window;
    DWORD processId;
};

// A named CALLBACK function: on 32-bit Windows a lambda has the wrong
// calling convention for an enumeration callback.
BOOL CALLBACK CollectMainWindow(HWND window, LPARAM param) {
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (wcscmp(className, kMainClass) == 0) {
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        reinterpret_cast<std::vector<MainWindow>*>(param)->push_back({window, processId});
    }
    return TRUE;
}

std::vector<MainWindow> MainWindows() {
    std::vector<MainWindow> found;
    EnumWindows(CollectMainWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Waits until the program's main window is visible; null when it never is.
HWND WaitForMainWindow(const Program& program) {
    for (DWORD waited = 0; waited < kStartMs && program.IsRunning(); waited += 50) {
        for (const MainWindow& main : MainWindows()) {
            if (main.processId == program.Id() && IsWindowVisible(main.window)) return main.window;
        }
        Sleep(50);
    }
    return nullptr;
}

// Closes the window as its close box does and waits for the process to end.
void CloseAndExpectExit(Program& program, HWND window) {
    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(program.WaitForExit(kExitMs));
    EXPECT_EQ(program.ExitCode(), 0u);
}

TEST(ProgramProcess, RunsUntilItsWindowClosesAndLeavesNothingBehind) {
    ASSERT_TRUE(MainWindows().empty()) << "another copy is still running";
    Program program;
    ASSERT_TRUE(program.Start());
    HWND window = WaitForMainWindow(program);
    ASSERT_NE(window, nullptr);
    wchar_t title[64] = {};
    GetWindowTextW(window, title, 64);
    EXPECT_STREQ(title, L"KroFileList");

    CloseAndExpectExit(program, window);
    EXPECT_TRUE(MainWindows().empty());
}

TEST(ProgramProcess, ASecondCopyRaisesTheFirstAndEndsWithoutAWindow) {
    ASSERT_TRUE(MainWindows().empty()) << "another copy is still running";
    Program first;
    ASSERT_TRUE(first.Start());
    HWND window = WaitForMainWindow(first);
    ASSERT_NE(window, nullptr);

    // Put another window in front, so that the second copy has something
    // to do.
    HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(other, nullptr);
    SetForegroundWindow(other);

    Program second;
    ASSERT_TRUE(second.Start());
    ASSERT_TRUE(second.WaitForExit(kExitMs));
    EXPECT_EQ(second.ExitCode(), 0u);

    const std::vector<MainWindow> windows = MainWindows();
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows[0].processId, first.Id());
    EXPECT_TRUE(first.IsRunning());
    EXPECT_EQ(GetForegroundWindow(), window);
    DestroyWindow(other);

    CloseAndExpectExit(first, window);
    EXPECT_TRUE(MainWindows().empty());

    // After the first copy has ended, the program starts normally again.
    Program third;
    ASSERT_TRUE(third.Start());
    HWND again = WaitForMainWindow(third);
    ASSERT_NE(again, nullptr);
    CloseAndExpectExit(third, again);
    EXPECT_TRUE(MainWindows().empty());
}

}  // namespace
}  // namespace kro::testing
