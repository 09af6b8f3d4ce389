// KroFileListCLI.exe's entry: the console, Ctrl+C and the arguments; the
// rest is RunCli (cli_run.h) with the system's seams.
#include <windows.h>

#include <shellapi.h>

#include <fcntl.h>
#include <io.h>
#include <atomic>
#include <cstdio>

#include "cli/cli_run.h"
#include "device/clock.h"
#include "device/disk_queries.h"
#include "device/module_loader.h"
#include "device/text_sink.h"
#include "device/thread_priority.h"
#include "export/export_file_system.h"
#include "export/export_worker.h"

namespace {

std::atomic<bool> stopRequested{false};
std::atomic<bool> runEnded{false};
// Windows ends the process as soon as the handler of a closing console
// returns, and gives it 5 seconds; the handler waits up to this long for the
// recording in progress.
constexpr int kCloseWaitMilliseconds = 4500;

// Ctrl+C, Ctrl+Break and the console's closing ask the commands to stop;
// they end after the recording in progress. Runs on a thread of its own.
BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
    stopRequested.store(true);
    for (int waited = 0; event == CTRL_CLOSE_EVENT && !runEnded.load() && waited < kCloseWaitMilliseconds;
         waited += 50) {
        Sleep(50);
    }
    return TRUE;
}

// The export steps' trace lines are the window program's diagnostics; the
// twin's output is what it was asked for.
class NoTrace final : public kro::TextSink {
public:
    void Write(std::string_view) override {}
};

// The arguments as ANSI bytes: recording names are compared with the
// library's names byte for byte.
std::vector<std::string> AnsiArguments() {
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (words == nullptr) return arguments;
    for (int i = 1; i < count; ++i) {
        const int length = WideCharToMultiByte(CP_ACP, 0, words[i], -1, nullptr, 0, nullptr, nullptr);
        std::string text(static_cast<std::size_t>(length > 0 ? length : 1), '\0');
        if (length > 0) WideCharToMultiByte(CP_ACP, 0, words[i], -1, text.data(), length, nullptr, nullptr);
        text.resize(text.size() - 1);  // the terminator
        arguments.push_back(text);
    }
    LocalFree(words);
    return arguments;
}

}  // namespace

int main() {
    using namespace kro;
    // Before anything could load a DLL by name: the twin runs elevated too.
    NarrowLibrarySearch();
    // Taken before standard output is redirected below.
    cli::CliConsole& console = cli::SystemCliConsole();
    // The diagnostic lines the shared code writes (each drive that cannot
    // be opened while the card's drive is looked for, a library that will
    // not load) go to OutputDebugString, where a debugger sees them, and to
    // the C runtime's standard output, here pointed at NUL: the twin's
    // streams carry its own UTF-8 texts alone.
    std::fflush(stdout);
    const int nul = _open("NUL", _O_WRONLY);
    if (nul >= 0) {
        _dup2(nul, _fileno(stdout));
        _close(nul);
    }
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);

    NoTrace trace;
    cli::CliEnvironment environment{SystemModuleLoader(),
                                    &SystemLibraryHostLauncher(),
                                    SystemClock(),
                                    SystemThreadPriority(),
                                    SystemDiskQueries(),
                                    SystemExportFileSystem(),
                                    cli::SystemCliSystem(),
                                    console,
                                    trace,
                                    stopRequested,
                                    kExportFolder};
    const int exitCode = cli::RunCli(AnsiArguments(), environment);
    runEnded.store(true);
    return exitCode;
}
