// The driver's command loop and its process-wide readings (see driver.cpp for
// the list of commands).
#include <windows.h>

#include <psapi.h>
#include <winternl.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "driver.h"

namespace {

constexpr wchar_t kDesktopClass[] = L"#32769";

std::string Utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.resize(static_cast<size_t>(size - 1));
    return out;
}

BOOL CALLBACK PrintOtherWindow(HWND window, LPARAM mainWindow) {
    if (window == reinterpret_cast<HWND>(mainWindow) || !IsWindowVisible(window)) return TRUE;
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (std::wcscmp(className, kDesktopClass) == 0) return TRUE;
    wchar_t caption[256] = {};
    GetWindowTextW(window, caption, 256);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    std::printf("%lu\t%s\t%s\n", processId, Utf8(className).c_str(), Utf8(caption).c_str());
    return TRUE;
}

struct ProcessCounts {
    long handles = -1;
    long threads = -1;
};

// The process's entry in the system's process list: Wine fills its handle
// and thread counts from the server, where GetProcessHandleCount on another
// process reads 0.
ProcessCounts CountsFromProcessList(DWORD processId) {
    using Query = LONG(WINAPI*)(SYSTEM_INFORMATION_CLASS, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    ProcessCounts counts;
    if (!query) return counts;
    std::vector<unsigned char> buffer(1 << 20);
    ULONG needed = 0;
    while (query(SystemProcessInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed) != 0) {
        if (buffer.size() >= (64u << 20)) return counts;
        buffer.resize(buffer.size() * 2);
    }
    for (size_t offset = 0;;) {
        const auto* entry = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(buffer.data() + offset);
        if (reinterpret_cast<ULONG_PTR>(entry->UniqueProcessId) == processId) {
            counts.handles = static_cast<long>(entry->HandleCount);
            counts.threads = static_cast<long>(entry->NumberOfThreads);
            return counts;
        }
        if (entry->NextEntryOffset == 0) return counts;
        offset += entry->NextEntryOffset;
    }
}

// Handles (as the process itself would count them and as the system's
// process list has them), threads, GDI and USER objects, private and
// working-set bytes of the program's process; -1 where a reading failed.
void PrintResources() {
    HWND main = MainWindow();
    if (!main) Fail("no main window");
    DWORD processId = 0;
    GetWindowThreadProcessId(main, &processId);
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    if (!process) Fail("cannot open the program's process");
    DWORD handles = 0;
    const BOOL haveHandles = GetProcessHandleCount(process, &handles);
    const DWORD gdi = GetGuiResources(process, GR_GDIOBJECTS);
    const DWORD user = GetGuiResources(process, GR_USEROBJECTS);
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof memory;
    const BOOL haveMemory =
        GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
    CloseHandle(process);
    const ProcessCounts counts = CountsFromProcessList(processId);
    std::printf("handles\t%ld\nlisted-handles\t%ld\nthreads\t%ld\ngdi\t%lu\nuser\t%lu\nprivate\t%lld\nworking\t%lld\n",
                haveHandles ? static_cast<long>(handles) : -1L, counts.handles, counts.threads, gdi, user,
                haveMemory ? static_cast<long long>(memory.PrivateUsage) : -1LL,
                haveMemory ? static_cast<long long>(memory.WorkingSetSize) : -1LL);
}

// Reads commands from standard input until it ends. Each command's output is
// followed by "\x04 STATUS" on a line of its own.
void Serve() {
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> words{"serve"};
        size_t start = 0;
        for (;;) {
            const size_t tab = line.find('\t', start);
            words.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        std::vector<char*> argv;
        for (std::string& word : words) argv.push_back(word.data());
        int status = 1;
        try {
            status = Run(static_cast<int>(argv.size()), argv.data());
        } catch (const DriverFailure& failure) {
            std::fprintf(stderr, "driver: %s\n", failure.what());
        }
        std::printf("\x04 %d\n", status);
        std::fflush(stdout);
    }
}

}  // namespace

bool RunSessionCommand(const std::string& command, int, char**) {
    if (command == "other-windows") {
        EnumWindows(PrintOtherWindow, reinterpret_cast<LPARAM>(MainWindow()));
    } else if (command == "resources") {
        PrintResources();
    } else if (command == "serve") {
        Serve();
    } else {
        return false;
    }
    return true;
}
