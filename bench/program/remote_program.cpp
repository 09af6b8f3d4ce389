#include "bench/program/remote_program.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>

namespace kro::bench {
namespace {

constexpr wchar_t kMainClass[] = L"MERIN.KROFILELIST";

DWORD ProgramProcessId() {
    DWORD processId = 0;
    if (HWND main = MainWindow()) GetWindowThreadProcessId(main, &processId);
    return processId;
}

struct BoxSearch {
    const std::wstring* caption;
    DWORD processId;
    HWND found;
};

// A named function: on 32-bit Windows a lambda has the wrong convention.
BOOL CALLBACK StopAtBox(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<BoxSearch*>(parameter);
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == search->processId && std::wstring(className) == L"#32770" && IsWindowVisible(window) &&
        WindowText(window) == *search->caption) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND MainWindow() {
    return FindWindowW(kMainClass, nullptr);
}

bool IsVisibleAndAnswering(HWND window) {
    DWORD_PTR result = 0;
    return window && IsWindowVisible(window) &&
           SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 100, &result) != 0;
}

HWND WaitAnsweringMainWindow(int milliseconds) {
    HWND found = nullptr;
    PollUntil(milliseconds, 2, [&] {
        HWND main = MainWindow();
        if (IsVisibleAndAnswering(main)) found = main;
        return found != nullptr;
    });
    return found;
}

std::wstring WindowText(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

std::wstring ControlText(int id) {
    HWND main = MainWindow();
    return main ? WindowText(GetDlgItem(main, id)) : std::wstring();
}

int ListRowCount(int id) {
    HWND main = MainWindow();
    if (!main) return 0;
    return static_cast<int>(SendMessageW(GetDlgItem(main, id), LVM_GETITEMCOUNT, 0, 0));
}

bool TickRows(int id, int rows) {
    HWND list = GetDlgItem(MainWindow(), id);
    // LVM_SETITEMSTATE carries a pointer, which is not marshalled between
    // processes: the item lives in memory of the program's process.
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, ProgramProcessId());
    if (!process) return false;
    void* remote = VirtualAllocEx(process, nullptr, sizeof(LVITEMW), MEM_COMMIT, PAGE_READWRITE);
    bool ticked = remote != nullptr;
    LVITEMW item = {};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(2);
    ticked = ticked && WriteProcessMemory(process, remote, &item, sizeof item, nullptr);
    for (int row = 0; ticked && row < rows; ++row)
        ticked =
            SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote));
    if (remote) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return ticked;
}

HWND FindBox(const std::wstring& caption) {
    BoxSearch search{&caption, ProgramProcessId(), nullptr};
    if (search.processId == 0) return nullptr;
    EnumWindows(StopAtBox, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

double Quantile(std::vector<double> samples, double q) {
    if (samples.empty()) return 0;
    std::sort(samples.begin(), samples.end());
    const auto index =
        static_cast<std::size_t>(std::ceil(q * static_cast<double>(samples.size()))) - (q > 0 ? 1 : 0);
    return samples[std::min(index, samples.size() - 1)];
}

}  // namespace kro::bench
