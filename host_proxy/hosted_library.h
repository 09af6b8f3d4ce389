// HostedLibrary: the device library's calls carried out in a host process of
// their own (library_host_process.h), so that a crash or a hang inside the
// closed library costs one call, never the program, and every call reaches
// the library from the one thread of its host.
//
// Each call has a deadline (below). A host that crashes, or a call that
// outlives its deadline, ends that host; the call fails as a missing
// library's does (0, outputs untouched) and a diagnostics line names the
// call and the host's exit code. The next call starts a fresh host with a
// fresh instance of the library, loaded as the last Load was, unless three
// hosts have ended within a minute: then none is started until the oldest
// of those three ends is a minute old, and calls fail at once meanwhile.
//
// Not thread-safe: KroLibrary calls it under its call lock. EndHost alone may
// be called from any thread, while a call is in progress.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "device/kro_api.h"
#include "host_proxy/library_host_process.h"
#include "host_link/library_protocol.h"
#include "device/text_sink.h"

namespace kro {

// Why the calling thread's last call into a device library binding gave 0
// without an answer from the library.
enum class CallFailure {
    None,            // the library answered (whatever it answered)
    NotReady,        // no library, no instance or no entry: nothing was called
    HostCrashed,     // the library's host ended during the call
    HostHung,        // the call outlived its deadline; its host was ended
    HostUnavailable, // no host could be started (or restarts are paused)
    WrotePastBuffer, // the picture call wrote past the 1 MiB buffer
};

// The calling thread's CallFailure slot: every binding call sets it.
CallFailure& ThreadCallFailure();

// How long each kind of call may take before its host is ended.
struct CallDeadlines {
    // The presence check runs once a second; a library that takes seconds
    // to say whether a card is there is not answering.
    std::chrono::milliseconds checkDevice{5000};
    // The flag, count and list calls read a whole card: a 50,000-recording
    // card on a slow reader takes seconds; a minute is far beyond that.
    std::chrono::milliseconds cardListing{60000};
    // The details popup waits this long for the library's answer, once the
    // call has its turn.
    std::chrono::milliseconds details{2000};
    // Loading the library and KRO_Create; KRO_Delete at the close.
    std::chrono::milliseconds load{30000};
    std::chrono::milliseconds close{3000};
    // Conversions and pictures have none: the progress dialog watches them
    // and ends the host when the user stops a stalled export.
};

class HostedLibrary {
public:
    HostedLibrary(LibraryHostLauncher& launcher, std::string programFolder, TextSink& diagnostics,
                  CallDeadlines deadlines = {});
    ~HostedLibrary();
    HostedLibrary(const HostedLibrary&) = delete;
    HostedLibrary& operator=(const HostedLibrary&) = delete;

    // Starts a host (of the program's architecture, else the other one when
    // the library is of that one), which loads the library from `folder`
    // as the in-process binding would and creates an instance.
    bool Load(const std::string& folder);
    // Deletes the instance and ends the host (within the close deadline).
    void Close();

    bool IsLoaded() const { return loaded_.load(); }
    KroHandle Instance() const { return instance_.load(); }
    bool HasEntry(KroExport which) const;

    std::int32_t CheckDevice(std::uint8_t* deviceValue);
    std::int32_t GetFileFlag(char* area, std::uint8_t* flag1, std::uint8_t* flag2, std::uint8_t* flag3);
    std::int32_t GetFileCount(std::uint8_t category);
    std::int32_t GetFileList(std::uint8_t category, std::int32_t capacity, RecordingEntry* entries,
                             std::int32_t* auxiliary, std::uint32_t* sizes, std::int32_t* durations);
    std::int32_t GetFileIndexInfo(std::uint8_t category, const char* name, RecordingIndexInfo* info);
    std::int32_t MakeAviFile(const char* name);
    std::int32_t MakeKroFile(const char* name);
    std::int32_t MakePictureFile(const char* name, std::int32_t* size, std::uint8_t* buffer);

    // Ends the running host at once, from any thread: the call in progress
    // fails (HostCrashed), and the next call starts a fresh host.
    void EndHost();


private:
    using Clock = std::chrono::steady_clock;

    // The reply to the request, of the request's own kind; nothing when the
    // host could not be had or ended during the call (LastFailure says why).
    template <typename Asked>
    std::optional<typename Asked::Answer> Ask(const Asked& request, std::chrono::milliseconds deadline,
                                              const char* exportName);
    bool StartAndLoad(HostArchitecture architecture);
    // A host for the next call: the running one, or a fresh one when the
    // restart policy allows.
    bool EnsureHost();
    // Ends the host after a failed call, counts its end and says why.
    void Bury(const char* exportName, bool timedOut);
    bool RestartsPaused(Clock::time_point now);

    LibraryHostLauncher& launcher_;
    const std::string programFolder_;
    TextSink& diagnostics_;
    const CallDeadlines deadlines_;

    std::string folder_;  // the last successful Load's, for restarts
    HostArchitecture architecture_;
    bool wanted_ = false;  // loaded once and not closed since: restart on demand
    // Guards host_ against EndHost from another thread.
    std::mutex hostMutex_;
    std::unique_ptr<LibraryHostProcess> host_;
    bool endAsked_ = false;  // host_ was ended by EndHost, not by a fault
    std::deque<Clock::time_point> ends_;  // when the recent hosts ended

    std::atomic<bool> loaded_{false};
    std::atomic<KroHandle> instance_{0};
    std::atomic<std::uint32_t> exportMask_{0};
};

}  // namespace kro
