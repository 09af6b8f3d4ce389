#include "host_proxy/library_host_process_win.h"

#include <windows.h>

#include <bcrypt.h>
#include <sddl.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "device/text_sink.h"
#include "win32/owned_handle.h"

namespace kro {
namespace {

constexpr DWORD kPipeBufferBytes = 64 * 1024;
// Longest path the wide calls take.
constexpr DWORD kMostPathChars = 32768;
// The pause before a failed start is tried once more.
constexpr DWORD kStartRetryMs = 250;

// A fresh, unguessable pipe name: the process ID and 128 random bits; empty
// when the system gave no random bits (a guessable name is no name).
std::wstring FreshPipeName() {
    unsigned char random[16] = {};
    if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, random, sizeof random, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
        return {};
    }
    wchar_t name[96] = {};
    int written = std::swprintf(name, 96, L"\\\\.\\pipe\\KroLibHost-%lu-", GetCurrentProcessId());
    for (unsigned char byte : random) written += std::swprintf(name + written, 96 - written, L"%02x", byte);
    return name;
}

// The SID of one of the token's facts (its user, its integrity level) as
// text; empty when it cannot be had.
std::wstring TokenSidText(HANDLE token, TOKEN_INFORMATION_CLASS which) {
    DWORD size = 0;
    GetTokenInformation(token, which, nullptr, 0, &size);
    std::vector<unsigned char> information(size);
    if (size == 0 || !GetTokenInformation(token, which, information.data(), size, &size)) return {};
    // TOKEN_USER and TOKEN_MANDATORY_LABEL both begin with a SID_AND_ATTRIBUTES.
    const PSID sid = reinterpret_cast<SID_AND_ATTRIBUTES*>(information.data())->Sid;
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text)) return {};
    std::wstring result(text);
    LocalFree(text);
    return result;
}

}  // namespace

std::wstring HostPipeSecurity() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    const win32::KernelHandle ownedToken(token);
    const std::wstring user = TokenSidText(token, TokenUser);
    const std::wstring integrity = TokenSidText(token, TokenIntegrityLevel);
    if (user.empty() || integrity.empty()) return {};
    return L"D:P(A;;GA;;;" + user + L")S:(ML;;NWNR;;;" + integrity + L")";
}

namespace {

// The pipe's security descriptor, from HostPipeSecurity. Freed with LocalFree.
PSECURITY_DESCRIPTOR PipeSecurityDescriptor() {
    const std::wstring sddl = HostPipeSecurity();
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (sddl.empty() || !ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                              &descriptor, nullptr))
        return nullptr;
    return descriptor;
}

class Win32HostProcess final : public LibraryHostProcess {
public:
    Win32HostProcess(win32::KernelHandle job, win32::KernelHandle process, HANDLE pipe)
        : job_(std::move(job)),
          process_(std::move(process)),
          channel_(MakePipeChannel(pipe, process_.Get())) {}

    LibraryChannel& Channel() override { return *channel_; }

    // TerminateProcess only starts the end; nothing here waits for it. The
    // handles closed when this object goes (the job's last one among them)
    // leave the rest to the system, which frees the process once its last
    // thread has left the kernel.
    void End() override {
        channel_->Abort();
        if (WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT) {
            if (!TerminateProcess(process_.Get(), ERROR_TIMEOUT))
                ReportLastError("TerminateProcess (library host)");
        }
    }

    bool WaitForEnd(std::chrono::milliseconds wait) override {
        const auto milliseconds = std::clamp<std::chrono::milliseconds::rep>(wait.count(), 0, INFINITE - 1);
        return WaitForSingleObject(process_.Get(), static_cast<DWORD>(milliseconds)) == WAIT_OBJECT_0;
    }

    std::optional<std::uint32_t> ExitCode() override {
        if (WaitForSingleObject(process_.Get(), 0) != WAIT_OBJECT_0) return std::nullopt;
        DWORD code = 0;
        if (!GetExitCodeProcess(process_.Get(), &code)) return std::nullopt;
        return code;
    }

private:
    // Closing the job ends the host: its limits say so.
    win32::KernelHandle job_;
    // Before the channel, which watches it, so that it goes after it.
    win32::KernelHandle process_;
    std::unique_ptr<LibraryChannel> channel_;
};

// A job that ends its processes when its last handle closes, and lets no
// unhandled exception wait for a debugger or an error box.
win32::KernelHandle HostJob() {
    win32::KernelHandle job(CreateJobObjectW(nullptr, nullptr));
    if (!job) return job;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    if (!SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        ReportLastError("SetInformationJobObject (library host)");
        return {};
    }
    return job;
}

// Starts the host suspended with `client` as its only inherited handle; a
// system that cannot limit what is inherited gets no host, rather than one
// that inherits every inheritable handle of this program.
bool CreateHostSuspended(const std::wstring& path, HANDLE client, PROCESS_INFORMATION& started) {
    std::wstring commandLine =
        L"\"" + path + L"\" --pipe " +
        std::to_wstring(static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(client)));
    SIZE_T listSize = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &listSize);
    std::vector<unsigned char> listBytes(listSize);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listBytes.data());
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    DWORD flags = CREATE_SUSPENDED | CREATE_NO_WINDOW;
    HANDLE inherited[1] = {client};
    if (listSize == 0 || !InitializeProcThreadAttributeList(list, 1, 0, &listSize)) {
        ReportLastError("InitializeProcThreadAttributeList (library host)");
        return false;
    }
    if (!UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited, sizeof inherited,
                                   nullptr, nullptr)) {
        ReportLastError("UpdateProcThreadAttribute (library host)");
        DeleteProcThreadAttributeList(list);
        return false;
    }
    startup.lpAttributeList = list;
    flags |= EXTENDED_STARTUPINFO_PRESENT;
    // The host's own folder as its working folder: whatever the program's
    // is, nothing the library opens by a relative name lands elsewhere.
    const std::wstring folder = path.substr(0, path.find_last_of(L'\\') + 1);
    const BOOL created =
        CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE, flags, nullptr,
                       folder.empty() ? nullptr : folder.c_str(), &startup.StartupInfo, &started);
    DeleteProcThreadAttributeList(list);
    if (!created) ReportLastError("CreateProcessW (library host)");
    return created != FALSE;
}

class Win32HostLauncher final : public LibraryHostLauncher {
public:
    std::unique_ptr<LibraryHostProcess> Start(HostArchitecture architecture) override {
        std::wstring path(kMostPathChars, L'\0');
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), kMostPathChars);
        if (length == 0 || length >= kMostPathChars) return nullptr;
        path.resize(length);
        path.erase(path.find_last_of(L'\\') + 1);
        const char* name = HostFileName(architecture);
        path.append(name, name + std::char_traits<char>::length(name));
        if (auto host = StartLibraryHostExe(path).process) return host;
        // A host that is there but did not start may have met a passing
        // shortage (the system busy ending another process): once more, a
        // moment later, before the library is called missing.
        if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return nullptr;
        Sleep(kStartRetryMs);
        return StartLibraryHostExe(path).process;
    }
};

}  // namespace

StartedHost StartLibraryHostExe(const std::wstring& path) {
    StartedHost host;
    host.pipeName = FreshPipeName();
    if (host.pipeName.empty()) {
        ReportLastError("BCryptGenRandom (library host pipe name)");
        return host;
    }
    PSECURITY_DESCRIPTOR descriptor = PipeSecurityDescriptor();
    if (descriptor == nullptr) {
        ReportLastError("library host pipe security");
        return host;
    }
    SECURITY_ATTRIBUTES serverAttributes{sizeof serverAttributes, descriptor, FALSE};
    win32::FileHandle server(CreateNamedPipeW(
        host.pipeName.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE | FILE_FLAG_OVERLAPPED,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, kPipeBufferBytes,
        kPipeBufferBytes, 0, &serverAttributes));
    if (!server) {
        ReportLastError("CreateNamedPipeW (library host)");
        LocalFree(descriptor);
        return host;
    }
    // The client end at once, before anyone else could: the pipe admits one
    // instance, so from now on nobody else can connect.
    SECURITY_ATTRIBUTES clientAttributes{sizeof clientAttributes, descriptor, TRUE};
    win32::FileHandle client(
        CreateFileW(host.pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, &clientAttributes, OPEN_EXISTING,
                    FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
    LocalFree(descriptor);
    if (!client) {
        ReportLastError("CreateFileW (library host pipe)");
        return host;
    }
    win32::KernelHandle job = HostJob();
    if (!job) return host;

    PROCESS_INFORMATION started{};
    if (!CreateHostSuspended(path, client.Get(), started)) return host;
    win32::KernelHandle process(started.hProcess);
    const win32::KernelHandle thread(started.hThread);
    if (!AssignProcessToJobObject(job.Get(), process.Get())) {
        ReportLastError("AssignProcessToJobObject (library host)");
        TerminateProcess(process.Get(), ERROR_ACCESS_DENIED);
        return host;
    }
    if (ResumeThread(thread.Get()) == static_cast<DWORD>(-1)) {
        ReportLastError("ResumeThread (library host)");
        TerminateProcess(process.Get(), ERROR_ACCESS_DENIED);
        return host;
    }
    // The host holds its own copy of the client end now.
    client.Close();
    host.process = std::make_unique<Win32HostProcess>(std::move(job), std::move(process), server.Release());
    return host;
}

std::unique_ptr<LibraryHostProcess> StartLibraryHost(const std::string& path) {
    const int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    if (length <= 0) return nullptr;
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), length);
    wide.resize(static_cast<std::size_t>(length - 1));
    return StartLibraryHostExe(wide).process;
}

LibraryHostLauncher& SystemLibraryHostLauncher() {
    static Win32HostLauncher launcher;
    return launcher;
}

}  // namespace kro
