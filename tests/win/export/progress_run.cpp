#include "tests/win/export/progress_run.h"

#include <commctrl.h>
#include <tlhelp32.h>

#include <cwctype>
#include <stdexcept>

#include "resources/resource.h"

namespace kro::testing {
namespace {

constexpr UINT kWatchdogMs = 60000;
constexpr wchar_t kOwnerClass[] = L"KroTestProgressOwner";

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

}  // namespace

OwnerWindow::OwnerWindow() {
    static const bool registered = [] {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
        InitCommonControlsEx(&controls);
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kOwnerClass;
        return RegisterClassW(&windowClass) != 0;
    }();
    if (!registered) throw std::runtime_error("owner class not registered");
    window_ = CreateWindowExW(0, kOwnerClass, L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 150, 150, 1110, 635,
                              nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (window_ == nullptr) throw std::runtime_error("owner window not created");
}

OwnerWindow::~OwnerWindow() {
    DestroyWindow(window_);
}

INT_PTR RunProgress(AVIProgress& dialog, HWND owner, std::function<bool(HWND)> step) {
    return RunModalWithSteps(dialog, std::move(step), owner, kWatchdogMs);
}

HWND FindSavedBox(HWND dialog) {
    return FindBox(dialog, L"Saved");
}

// Process IDs of the running programs whose file name (lower case) is one of
// names.
std::set<DWORD> ProcessesNamed(const std::set<std::wstring>& names) {
    std::set<DWORD> found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return found;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (names.count(Lower(entry.szExeFile)) != 0) found.insert(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return found;
}

std::set<DWORD> FolderViewerProcesses() {
    return ProcessesNamed({L"explorer.exe", L"winefile.exe"});
}

std::set<DWORD> LibraryHostProcesses() {
    return ProcessesNamed({L"krolibhost64.exe", L"krolibhost32.exe"});
}

Bar ReadBar(HWND dialog, int id) {
    HWND bar = GetDlgItem(dialog, id);
    return {static_cast<int>(SendMessageW(bar, PBM_GETRANGE, TRUE, 0)),
            static_cast<int>(SendMessageW(bar, PBM_GETRANGE, FALSE, 0)),
            static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0))};
}

bool ReadBoxAndAnswer(HWND dialog, BoxSeen& seen, WPARAM answer) {
    HWND box = FindSavedBox(dialog);
    if (box == nullptr) return false;
    seen.found = true;
    seen.text = BoxText(box);
    seen.yes = GetDlgItem(box, IDYES) != nullptr;
    seen.no = GetDlgItem(box, IDNO) != nullptr;
    seen.ok = GetDlgItem(box, IDOK) != nullptr;
    seen.files = ReadBar(dialog, IDC_PROGRESS_FILES);
    seen.step = ReadBar(dialog, IDC_PROGRESS_STEP);
    PostMessageW(box, WM_COMMAND, answer, 0);
    return true;
}

}  // namespace kro::testing
