#include "host_proxy/library_host_process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <thread>

#include "device/module_loader.h"

extern char** environ;

namespace kro {
namespace {

// The native host beside the running program (tests and benchmarks only).
constexpr const char* kNativeHostName = "kro_lib_host";
// A host that a signal ended reports this plus the signal's number, as a
// shell does.
constexpr std::uint32_t kSignalExitBase = 128;

class PosixHostProcess final : public LibraryHostProcess {
public:
    PosixHostProcess(pid_t pid, int socket) : pid_(pid), channel_(MakeSocketChannel(socket)) {}
    // The one wait for the end, so that no zombie is left: a killed native
    // host ends at once unless the kernel holds it in an uninterruptible
    // wait. HostedLibrary keeps a host that has not ended yet until it has,
    // and destroys one still there only when it goes itself.
    ~PosixHostProcess() override {
        End();
        Reap(true);
    }

    LibraryChannel& Channel() override { return *channel_; }

    void End() override {
        channel_->Abort();
        if (!Reap(false)) kill(pid_, SIGKILL);
    }

    bool WaitForEnd(std::chrono::milliseconds wait) override {
        // No process handle to wait on: looked at every millisecond, which
        // the tests and benchmarks that use this twin can afford.
        const auto giveUp = std::chrono::steady_clock::now() + wait;
        while (!Reap(false)) {
            if (std::chrono::steady_clock::now() >= giveUp) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    std::optional<std::uint32_t> ExitCode() override {
        Reap(false);
        return exitCode_;
    }

private:
    // Collects the host's end once; true when it has ended.
    bool Reap(bool wait) {
        if (exitCode_) return true;
        int status = 0;
        pid_t reaped;
        do {
            reaped = waitpid(pid_, &status, wait ? 0 : WNOHANG);
        } while (reaped == -1 && errno == EINTR);
        if (reaped != pid_) return false;
        exitCode_ = WIFEXITED(status) ? static_cast<std::uint32_t>(WEXITSTATUS(status))
                                      : kSignalExitBase + static_cast<std::uint32_t>(WTERMSIG(status));
        return true;
    }

    pid_t pid_;
    std::unique_ptr<LibraryChannel> channel_;
    std::optional<std::uint32_t> exitCode_;
};

class PosixHostLauncher final : public LibraryHostLauncher {
public:
    std::unique_ptr<LibraryHostProcess> Start(HostArchitecture) override {
        std::string path = SystemModuleLoader().ExecutablePath();
        const auto separator = path.rfind('\\');
        if (separator == std::string::npos) return nullptr;
        path.erase(separator + 1);
        for (char& c : path) c = c == '\\' ? '/' : c;
        return StartLibraryHost(path + kNativeHostName);
    }
};

}  // namespace

std::unique_ptr<LibraryHostProcess> StartLibraryHost(const std::string& path) {
    int ends[2] = {-1, -1};
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return nullptr;
    // The host's end becomes its descriptor 3, without close-on-exec; the
    // program's end is closed on exec by its flag.
    constexpr int kHostSocket = 3;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], kHostSocket);
    const std::string socketText = std::to_string(kHostSocket);
    char* const arguments[] = {const_cast<char*>(path.c_str()), const_cast<char*>("--socket"),
                               const_cast<char*>(socketText.c_str()), nullptr};
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, path.c_str(), &actions, nullptr, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(ends[1]);
    if (spawned != 0) {
        close(ends[0]);
        return nullptr;
    }
    return std::make_unique<PosixHostProcess>(pid, ends[0]);
}

LibraryHostLauncher& SystemLibraryHostLauncher() {
    static PosixHostLauncher launcher;
    return launcher;
}

}  // namespace kro
