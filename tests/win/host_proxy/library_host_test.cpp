// The library host as a real process under Wine: started over its private
// pipe, it serves the library's calls; nobody else can reach that pipe; a
// crash inside the library ends the host with the exception's code and the
// call in progress at once, with no error box; a hung call is given up at
// its deadline, or at once when the channel is aborted, and the host ended.
#include <windows.h>

#include <sddl.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <variant>

#include "host/library_server.h"
#include "host_proxy/call_host.h"
#include "host_proxy/library_host_process_win.h"
#include "tests/doubles/double_support.h"

namespace kro {
namespace {

using namespace std::chrono_literals;

std::wstring HostPath() {
    return (test::ProgramFolder() /
            HostFileName(sizeof(void*) == 4 ? HostArchitecture::X86 : HostArchitecture::X64))
        .wstring();
}

LibraryChannel::Deadline In(std::chrono::milliseconds wait) {
    return std::chrono::steady_clock::now() + wait;
}

// The host's exit code, waiting a bounded time for its end.
std::optional<std::uint32_t> ExitCodeWithin(LibraryHostProcess& host, std::chrono::milliseconds wait) {
    const auto giveUp = std::chrono::steady_clock::now() + wait;
    while (std::chrono::steady_clock::now() < giveUp) {
        if (const auto code = host.ExitCode()) return code;
        Sleep(10);
    }
    return std::nullopt;
}

// Sets the simulator's fault switches for the hosts started meanwhile.
class FaultSwitches {
public:
    explicit FaultSwitches(const char* switches) { _putenv_s("KROSIM_FAULTS", switches); }
    ~FaultSwitches() { _putenv_s("KROSIM_FAULTS", ""); }
};

TEST(LibraryHost, ServesTheLibraryOverItsPipeAndEndsAfterClose) {
    test::ScratchFolder folder("host");
    const auto library = test::PlaceCopy(folder.Path(), test::kCompleteDouble);
    StartedHost host = StartLibraryHostExe(HostPath());
    ASSERT_TRUE(host.process) << "the host did not start";
    LibraryChannel& channel = host.process->Channel();
    ASSERT_EQ(GreetHost(channel, In(30s)), kProtocolVersion);

    const auto loaded = CallHost(channel, LoadRequest{folder.Text(), ""}, In(30s));
    ASSERT_TRUE(loaded) << "no answer to the load";
    EXPECT_TRUE(std::get<LoadReply>(*loaded).loaded);
    const auto checked = CallHost(channel, CheckDeviceRequest{0}, In(30s));
    ASSERT_TRUE(checked);
    EXPECT_EQ(std::get<CheckDeviceReply>(*checked).deviceValue, 2);

    // Nobody else reaches the pipe: it admits one client, already there,
    // and no second instance of its name can be made.
    const HANDLE intruder = CreateFileW(host.pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(intruder, INVALID_HANDLE_VALUE) << "another client connected to the host's pipe";
    if (intruder != INVALID_HANDLE_VALUE) CloseHandle(intruder);
    const HANDLE squatter =
        CreateNamedPipeW(host.pipeName.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT,
                         PIPE_UNLIMITED_INSTANCES, 0, 0, 0, nullptr);
    EXPECT_EQ(squatter, INVALID_HANDLE_VALUE) << "a second instance of the host's pipe was made";
    if (squatter != INVALID_HANDLE_VALUE) CloseHandle(squatter);

    // Nor can a process of a lower integrity level of the same user: the
    // pipe is labelled with this process's level, no write or read up.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(HostPipeSecurity().c_str(),
                                                                     SDDL_REVISION_1, &descriptor, nullptr));
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    ACL* sacl = nullptr;
    void* ace = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorSacl(descriptor, &present, &sacl, &defaulted) && present &&
                sacl != nullptr);
    ASSERT_TRUE(sacl->AceCount == 1 && GetAce(sacl, 0, &ace));
    const auto* label = static_cast<SYSTEM_MANDATORY_LABEL_ACE*>(ace);
    EXPECT_EQ(label->Header.AceType, SYSTEM_MANDATORY_LABEL_ACE_TYPE);
    EXPECT_EQ(label->Mask,
              static_cast<DWORD>(SYSTEM_MANDATORY_LABEL_NO_WRITE_UP | SYSTEM_MANDATORY_LABEL_NO_READ_UP));
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    unsigned char level[64] = {};
    DWORD size = 0;
    ASSERT_TRUE(GetTokenInformation(token, TokenIntegrityLevel, level, sizeof level, &size));
    CloseHandle(token);
    EXPECT_TRUE(EqualSid(const_cast<DWORD*>(&label->SidStart),
                         reinterpret_cast<TOKEN_MANDATORY_LABEL*>(level)->Label.Sid));
    LocalFree(descriptor);

    const auto closed = CallHost(channel, CloseRequest{}, In(30s));
    ASSERT_TRUE(closed);
    EXPECT_TRUE(std::get<CloseReply>(*closed).called);
    EXPECT_EQ(ExitCodeWithin(*host.process, 30s), 0u);
    const auto log = test::CallLog(library);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front(), "KRO_Create");
    EXPECT_EQ(log.back(), "KRO_Delete h=4660");
}

TEST(LibraryHost, ACrashInTheLibraryEndsTheCallAndTheHostWithItsCode) {
    const FaultSwitches faults("crash=check");
    StartedHost host = StartLibraryHostExe(HostPath());
    ASSERT_TRUE(host.process);
    LibraryChannel& channel = host.process->Channel();
    ASSERT_EQ(GreetHost(channel, In(30s)), kProtocolVersion);
    const auto loaded = CallHost(channel, LoadRequest{test::ProgramFolder().string(), ""}, In(30s));
    ASSERT_TRUE(loaded);
    ASSERT_TRUE(std::get<LoadReply>(*loaded).loaded);

    // The deadline is far: the call must end because the host died, and the
    // host must die at once, not wait for a debugger or an error box.
    EXPECT_FALSE(CallHost(channel, CheckDeviceRequest{0}, In(20s))) << "a crashed call answered";
    EXPECT_EQ(ExitCodeWithin(*host.process, 30s), static_cast<std::uint32_t>(EXCEPTION_ACCESS_VIOLATION));
    EXPECT_FALSE(CallHost(channel, CheckDeviceRequest{0}, In(1s))) << "the channel outlived its host";
}

// A hung call is given up at its deadline, or at once when the channel is
// aborted (a stop): the abort does not wait for the host's process, which,
// still stuck, runs on (as one does whose end the system holds back).
TEST(LibraryHost, AHungCallIsGivenUpAtItsDeadlineOrAtAnAbortAndTheHostEnded) {
    const FaultSwitches faults("hang=check");
    for (const bool abort : {false, true}) {
        SCOPED_TRACE(abort ? "aborted" : "deadline");
        StartedHost host = StartLibraryHostExe(HostPath());
        ASSERT_TRUE(host.process);
        LibraryChannel& channel = host.process->Channel();
        ASSERT_EQ(GreetHost(channel, In(30s)), kProtocolVersion);
        ASSERT_TRUE(CallHost(channel, LoadRequest{test::ProgramFolder().string(), ""}, In(30s)));

        auto call = std::async(std::launch::async, [&] {
            return CallHost(channel, CheckDeviceRequest{0}, In(abort ? 600s : 500ms));
        });
        if (abort) {
            // A pause, not a timing check: time for the request to reach the host.
            Sleep(300);
            channel.Abort();
        }
        ASSERT_EQ(call.wait_for(20s), std::future_status::ready) << "the wait did not end";
        EXPECT_FALSE(call.get()) << "a hung call answered";
        EXPECT_FALSE(host.process->ExitCode()) << "the host ended by itself";
        EXPECT_FALSE(CallHost(channel, CheckDeviceRequest{0}, In(1s))) << "the channel outlived its end";
        host.process->End();
        EXPECT_TRUE(ExitCodeWithin(*host.process, 30s)) << "End left the host running";
    }
}

}  // namespace
}  // namespace kro
