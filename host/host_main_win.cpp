// KroLibHost32.exe / KroLibHost64.exe: the only code that loads the device
// library. The program starts it with one inherited handle, its end of a
// private pipe, and the host serves the program's requests over it, every
// library call on this one thread, until the pipe closes or a Close request
// has been answered. No window; no error box may ever wait for a user.
#include <windows.h>

#include <shellapi.h>

#include <cstdlib>
#include <cwchar>
#include <exception>

#include "device/library_channel.h"
#include "device/library_server.h"
#include "device/module_loader.h"

namespace {

// Exit codes of the host's own ends; a crash ends it with the exception code.
constexpr UINT kExitBadCommandLine = 2;
constexpr UINT kExitTerminate = 5;

// A fault inside the library ends the host at once, with the exception's
// code for the program to report. Ending here, before any debugger or error
// reporting is asked, is what keeps every crash dialog away (the error mode
// alone does not stop Wine's debugger).
LONG WINAPI EndOnCrash(EXCEPTION_POINTERS* exception) {
    TerminateProcess(GetCurrentProcess(), exception->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

// The pipe handle from "--pipe N"; null when the command line has none.
HANDLE PipeFromCommandLine() {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr) return nullptr;
    HANDLE pipe = nullptr;
    for (int i = 1; i + 1 < count; ++i) {
        if (std::wcscmp(arguments[i], L"--pipe") != 0) continue;
        wchar_t* end = nullptr;
        const unsigned long long value = std::wcstoull(arguments[i + 1], &end, 10);
        if (end != arguments[i + 1] && *end == L'\0' && value != 0)
            pipe = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(value));
    }
    LocalFree(arguments);
    return pipe;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(EndOnCrash);
    std::set_terminate([] { TerminateProcess(GetCurrentProcess(), kExitTerminate); });

    HANDLE pipe = PipeFromCommandLine();
    if (pipe == nullptr || GetFileType(pipe) != FILE_TYPE_PIPE) return kExitBadCommandLine;
    // The program is the other end; when it goes, the pipe breaks and the
    // loop ends (its job ends this process too).
    const auto channel = kro::MakePipeChannel(pipe, nullptr);
    return kro::HostExitCode(kro::ServeLibrary(*channel, kro::SystemModuleLoader()));
}
