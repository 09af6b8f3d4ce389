// KroLibHost32.exe / KroLibHost64.exe: the only code that loads the device
// library. The program starts it with one inherited handle, its end of a
// private pipe, and the host serves the program's requests over it, every
// library call on this one thread, until the pipe closes or a Close request
// has been answered. No window; no error box may ever wait for a user.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <exception>

#include "device/module_loader.h"
#include "host/library_server.h"
#include "host_link/library_channel.h"

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

// The pipe handle from the arguments "--pipe N", as the program passes them;
// null for anything else. Parsed here rather than by CommandLineToArgvW,
// whose shell32 would bring user32 and gdi32 into every start of the host.
HANDLE PipeFromArguments(const wchar_t* arguments) {
    const auto skipSpaces = [&arguments] {
        while (*arguments == L' ' || *arguments == L'\t') ++arguments;
    };
    skipSpaces();
    constexpr wchar_t kSwitch[] = L"--pipe";
    if (std::wcsncmp(arguments, kSwitch, std::wcslen(kSwitch)) != 0) return nullptr;
    arguments += std::wcslen(kSwitch);
    if (*arguments != L' ' && *arguments != L'\t') return nullptr;
    skipSpaces();
    if (*arguments < L'0' || *arguments > L'9') return nullptr;
    wchar_t* end = nullptr;
    const unsigned long long value = std::wcstoull(arguments, &end, 10);
    arguments = end;
    skipSpaces();
    if (*arguments != L'\0' || value == 0 || value > UINTPTR_MAX) return nullptr;
    return reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(value));
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int) {
    kro::NarrowLibrarySearch();
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(EndOnCrash);
    std::set_terminate([] { TerminateProcess(GetCurrentProcess(), kExitTerminate); });

    HANDLE pipe = PipeFromArguments(arguments != nullptr ? arguments : L"");
    if (pipe == nullptr || GetFileType(pipe) != FILE_TYPE_PIPE) return kExitBadCommandLine;
    // Ours alone: nothing the library starts inherits the channel.
    if (!SetHandleInformation(pipe, HANDLE_FLAG_INHERIT, 0)) return kExitBadCommandLine;
    // The program is the other end; when it goes, the pipe breaks and the
    // loop ends (its job ends this process too).
    const auto channel = kro::MakePipeChannel(pipe, nullptr);
    return kro::HostExitCode(kro::ServeLibrary(*channel, kro::SystemModuleLoader()));
}
