// kro_e2e_driver: drives a running KroFileList from outside its process, as a
// user would, through its windows and controls. Run under Wine in the same
// prefix as the program. One command per invocation (or many, see serve);
// results go to standard output as UTF-8 lines, failures to standard error
// with exit code 1.
//
//   wait-window MS            wait for the main window, print its title
//   title                     print the main window's title
//   text ID                   print a control's text
//   visible ID                print 1 or 0
//   rows ID [FROM COUNT]      print each row of a list (or COUNT rows from
//                             row FROM): check<TAB>col1<TAB>col2<TAB>col3
//   row-count ID              print how many rows a list holds
//   columns ID                print each column: width<TAB>heading
//   click ID                  click a button
//   check ID ROW 0|1          tick or clear one row's check box
//   item-point ID ROW         print the screen point at the centre of a row
//   wait-box CAPTION MS       wait for a message box, print its text
//   answer-box CAPTION ok|yes|no
//   menu-lines MS             wait for a popup menu, print its lines (another
//                             process's menu cannot be read under Wine)
//   menu-height MS            wait for a popup menu, print its window's height
//   wait-gone MS              wait until the main window has gone
//   count-windows             print how many main windows exist
//   foreground                print 1 when the main window is in front
//   main-visible              print 1 when the main window is visible
//   close                     close the main window
//   answers MS                print 1 when the main window answers a message
//                             within MS milliseconds, else 0
//   progress-text             print the progress dialog's status line
//   close-progress            send the progress dialog the close command
//   windows                   print each top-level window of the program's
//                             process: class<TAB>visible<TAB>enabled<TAB>title
//   other-windows             print each visible top-level window but the
//                             main one: process id<TAB>class<TAB>caption
//   resources                 print the program's handles, GDI and USER
//                             objects, private and working-set bytes
//   serve                     run commands read from standard input, one a
//                             line, arguments separated by tabs; after each
//                             command's output a line "\x04" and its status
//                             (one Wine start for a whole session)
#include "driver.h"

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kMainClass[] = L"MERIN.KROFILELIST";

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
    out.resize(static_cast<size_t>(size - 1));
    return out;
}

std::wstring Wide(const char* utf8) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, out.data(), size);
    out.resize(static_cast<size_t>(size - 1));
    return out;
}

}  // namespace

void Fail(const char* what) {
    throw DriverFailure(what);
}

HWND MainWindow() {
    return FindWindowW(kMainClass, nullptr);
}

namespace {

HWND RequireMainWindow() {
    HWND window = MainWindow();
    if (!window) Fail("no main window");
    return window;
}

HWND Control(int id) {
    HWND control = GetDlgItem(RequireMainWindow(), id);
    if (!control) Fail("no such control");
    return control;
}

std::wstring WindowText(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return text;
}

// Memory inside the program's process, for list-view messages that carry
// pointers (they are not marshalled between processes).
class RemoteBuffer {
public:
    RemoteBuffer(HWND window, size_t size) : size_(size) {
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
        if (!process_) Fail("cannot open the program's process");
        address_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
        if (!address_) Fail("cannot allocate in the program's process");
    }
    ~RemoteBuffer() {
        VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
        CloseHandle(process_);
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    void* Address() const { return address_; }
    void Write(const void* data, size_t size, size_t offset = 0) {
        WriteProcessMemory(process_, static_cast<char*>(address_) + offset, data, size, nullptr);
    }
    void Read(void* data, size_t size, size_t offset = 0) const {
        ReadProcessMemory(process_, static_cast<char*>(address_) + offset, data, size, nullptr);
    }

private:
    HANDLE process_ = nullptr;
    void* address_ = nullptr;
    size_t size_;
};

constexpr size_t kTextChars = 512;

// One cell's text through REMOTE (sizeof(LVITEMW) + kTextChars characters),
// which a whole listing shares.
std::wstring ItemText(RemoteBuffer& remote, HWND list, int row, int column) {
    LVITEMW item = {};
    item.iSubItem = column;
    item.cchTextMax = kTextChars;
    item.pszText = reinterpret_cast<wchar_t*>(static_cast<char*>(remote.Address()) + sizeof(LVITEMW));
    remote.Write(&item, sizeof item);
    const LRESULT length = SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                                        reinterpret_cast<LPARAM>(remote.Address()));
    std::wstring text(kTextChars, L'\0');
    remote.Read(text.data(), kTextChars * sizeof(wchar_t), sizeof(LVITEMW));
    text.resize(static_cast<size_t>(length));
    return text;
}

bool IsChecked(HWND list, int row) {
    const LRESULT state = SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK);
    return ((state & LVIS_STATEIMAGEMASK) >> 12) == 2;
}

// Enumeration callbacks are named functions: on 32-bit Windows a lambda has
// the wrong calling convention for them.
struct BoxSearch {
    const std::wstring* caption;
    DWORD processId;
    HWND found;
};

BOOL CALLBACK StopAtBox(HWND window, LPARAM parameter) {
    auto* s = reinterpret_cast<BoxSearch*>(parameter);
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == s->processId && std::wcscmp(className, L"#32770") == 0 && IsWindowVisible(window) &&
        WindowText(window) == *s->caption) {
        s->found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK CountMainWindow(HWND window, LPARAM parameter) {
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (std::wcscmp(className, kMainClass) == 0) ++*reinterpret_cast<int*>(parameter);
    return TRUE;
}

struct ProcessWindows {
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectProcessWindow(HWND window, LPARAM parameter) {
    auto* s = reinterpret_cast<ProcessWindows*>(parameter);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == s->processId) s->found.push_back(window);
    return TRUE;
}

struct ProgressSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK StopAtProgressDialog(HWND window, LPARAM parameter) {
    auto* s = reinterpret_cast<ProgressSearch*>(parameter);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != s->processId || !IsWindowVisible(window) || !GetDlgItem(window, 1013)) return TRUE;
    s->found = window;
    return FALSE;
}

// The program's progress dialog: a visible window of the program's process
// holding the files bar.
HWND FindProgressDialog() {
    HWND main = MainWindow();
    if (!main) return nullptr;
    DWORD programId = 0;
    GetWindowThreadProcessId(main, &programId);
    ProgressSearch search{programId, nullptr};
    EnumWindows(StopAtProgressDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A message box of the program's process with the caption; the program may
// still be starting, so no main window yet simply means no box yet.
HWND FindBox(const std::wstring& caption) {
    HWND main = MainWindow();
    if (!main) return nullptr;
    DWORD programId = 0;
    GetWindowThreadProcessId(main, &programId);
    BoxSearch search{&caption, programId, nullptr};
    EnumWindows(StopAtBox, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

template <typename Predicate>
bool WaitFor(int milliseconds, Predicate predicate) {
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(milliseconds);
    do {
        if (predicate()) return true;
        Sleep(50);
    } while (GetTickCount64() < end);
    return predicate();
}

void PrintLine(const std::wstring& text) {
    std::printf("%s\n", Utf8(text).c_str());
}

}  // namespace

int Run(int argc, char** argv) {
    if (argc < 2) Fail("no command");
    const std::string command = argv[1];
    auto intArg = [&](int index) {
        if (argc <= index) Fail("missing argument");
        return std::atoi(argv[index]);
    };

    if (command == "wait-window") {
        if (!WaitFor(intArg(2), [] { return MainWindow() != nullptr && IsWindowVisible(MainWindow()); }))
            Fail("main window did not appear");
        PrintLine(WindowText(MainWindow()));
    } else if (command == "title") {
        PrintLine(WindowText(RequireMainWindow()));
    } else if (command == "text") {
        PrintLine(WindowText(Control(intArg(2))));
    } else if (command == "visible") {
        std::printf("%d\n", IsWindowVisible(Control(intArg(2))) ? 1 : 0);
    } else if (command == "rows") {
        HWND list = Control(intArg(2));
        HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
        const int columns = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
        const int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        const int first = argc > 3 ? std::max(0, std::atoi(argv[3])) : 0;
        const int end = argc > 4 ? std::min(rows, first + std::max(0, std::atoi(argv[4]))) : rows;
        RemoteBuffer remote(list, sizeof(LVITEMW) + kTextChars * sizeof(wchar_t));
        for (int row = first; row < end; ++row) {
            std::wstring line = IsChecked(list, row) ? L"1" : L"0";
            for (int column = 1; column < columns; ++column)
                line += L"\t" + ItemText(remote, list, row, column);
            PrintLine(line);
        }
    } else if (command == "row-count") {
        std::printf("%d\n", static_cast<int>(SendMessageW(Control(intArg(2)), LVM_GETITEMCOUNT, 0, 0)));
    } else if (command == "columns") {
        HWND list = Control(intArg(2));
        HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
        const int columns = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
        for (int column = 0; column < columns; ++column) {
            constexpr size_t kTextChars = 128;
            RemoteBuffer remote(list, sizeof(LVCOLUMNW) + kTextChars * sizeof(wchar_t));
            LVCOLUMNW info = {};
            info.mask = LVCF_TEXT | LVCF_WIDTH;
            info.cchTextMax = kTextChars;
            info.pszText =
                reinterpret_cast<wchar_t*>(static_cast<char*>(remote.Address()) + sizeof(LVCOLUMNW));
            remote.Write(&info, sizeof info);
            SendMessageW(list, LVM_GETCOLUMNW, static_cast<WPARAM>(column),
                         reinterpret_cast<LPARAM>(remote.Address()));
            remote.Read(&info, sizeof info);
            std::wstring text(kTextChars, L'\0');
            remote.Read(text.data(), kTextChars * sizeof(wchar_t), sizeof(LVCOLUMNW));
            text.resize(std::wcslen(text.c_str()));
            std::printf("%d\t%s\n", info.cx, Utf8(text).c_str());
        }
    } else if (command == "click") {
        PostMessageW(Control(intArg(2)), BM_CLICK, 0, 0);
    } else if (command == "check") {
        HWND list = Control(intArg(2));
        RemoteBuffer remote(list, sizeof(LVITEMW));
        LVITEMW item = {};
        item.stateMask = LVIS_STATEIMAGEMASK;
        item.state = INDEXTOSTATEIMAGEMASK(intArg(4) ? 2 : 1);
        remote.Write(&item, sizeof item);
        SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(intArg(3)),
                     reinterpret_cast<LPARAM>(remote.Address()));
    } else if (command == "item-point") {
        HWND list = Control(intArg(2));
        RemoteBuffer remote(list, sizeof(RECT));
        RECT rect = {};
        rect.left = LVIR_LABEL;
        remote.Write(&rect, sizeof rect);
        if (!SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(intArg(3)),
                          reinterpret_cast<LPARAM>(remote.Address())))
            Fail("no such row");
        remote.Read(&rect, sizeof rect);
        POINT point = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
        ClientToScreen(list, &point);
        std::printf("%ld %ld\n", point.x, point.y);
    } else if (command == "wait-box") {
        const std::wstring caption = Wide(argc > 2 ? argv[2] : "");
        HWND box = nullptr;
        if (!WaitFor(intArg(3), [&] { return (box = FindBox(caption)) != nullptr; }))
            Fail("message box did not appear");
        PrintLine(WindowText(GetDlgItem(box, 0xFFFF)));
    } else if (command == "answer-box") {
        if (argc < 4) Fail("missing argument");
        HWND box = FindBox(Wide(argv[2]));
        if (!box) Fail("no such message box");
        const std::string answer = argv[3];
        const WPARAM id = answer == "yes" ? IDYES : answer == "no" ? IDNO : IDOK;
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    } else if (command == "menu-lines") {
        HWND menuWindow = nullptr;
        if (!WaitFor(intArg(2), [&] {
                return (menuWindow = FindWindowW(L"#32768", nullptr)) != nullptr &&
                       IsWindowVisible(menuWindow);
            }))
            Fail("no popup menu");
        HMENU menu = reinterpret_cast<HMENU>(SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
        const int count = GetMenuItemCount(menu);
        if (count < 0) Fail("cannot read the popup menu");
        for (int i = 0; i < count; ++i) {
            wchar_t text[256] = {};
            GetMenuStringW(menu, static_cast<UINT>(i), text, 256, MF_BYPOSITION);
            PrintLine(text);
        }
    } else if (command == "menu-height") {
        HWND menuWindow = nullptr;
        if (!WaitFor(intArg(2), [&] {
                return (menuWindow = FindWindowW(L"#32768", nullptr)) != nullptr &&
                       IsWindowVisible(menuWindow);
            }))
            Fail("no popup menu");
        RECT rect = {};
        GetWindowRect(menuWindow, &rect);
        std::printf("%ld\n", rect.bottom - rect.top);
    } else if (command == "wait-gone") {
        if (!WaitFor(intArg(2), [] { return MainWindow() == nullptr; })) Fail("main window still there");
    } else if (command == "count-windows") {
        int count = 0;
        EnumWindows(CountMainWindow, reinterpret_cast<LPARAM>(&count));
        std::printf("%d\n", count);
    } else if (command == "foreground") {
        std::printf("%d\n", GetForegroundWindow() == RequireMainWindow() ? 1 : 0);
    } else if (command == "main-visible") {
        std::printf("%d\n", IsWindowVisible(RequireMainWindow()) ? 1 : 0);
    } else if (command == "close") {
        PostMessageW(RequireMainWindow(), WM_CLOSE, 0, 0);
    } else if (command == "answers") {
        DWORD_PTR result = 0;
        const LRESULT answered = SendMessageTimeoutW(RequireMainWindow(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG,
                                                     static_cast<UINT>(intArg(2)), &result);
        std::printf("%d\n", answered != 0 ? 1 : 0);
    } else if (command == "progress-text") {
        HWND dialog = FindProgressDialog();
        if (!dialog) Fail("no progress dialog");
        PrintLine(WindowText(GetDlgItem(dialog, 1025)));
    } else if (command == "close-progress") {
        HWND dialog = FindProgressDialog();
        if (!dialog) Fail("no progress dialog");
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    } else if (command == "windows") {
        DWORD programId = 0;
        GetWindowThreadProcessId(RequireMainWindow(), &programId);
        ProcessWindows windows{programId, {}};
        EnumWindows(CollectProcessWindow, reinterpret_cast<LPARAM>(&windows));
        for (HWND window : windows.found) {
            wchar_t className[64] = {};
            GetClassNameW(window, className, 64);
            std::printf("%s\t%d\t%d\t%s\n", Utf8(className).c_str(), IsWindowVisible(window) ? 1 : 0,
                        IsWindowEnabled(window) ? 1 : 0, Utf8(WindowText(window)).c_str());
        }
    } else if (!RunSessionCommand(command, argc, argv)) {
        Fail("unknown command");
    }
    return 0;
}

int main(int argc, char** argv) {
    int status = 1;
    try {
        status = Run(argc, argv);
    } catch (const DriverFailure& failure) {
        std::fprintf(stderr, "driver: %s\n", failure.what());
    }
    std::fflush(stdout);
    return status;
}
