// HostedLibrary: the binding whose calls are carried out in a host process of
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
// A host of another protocol version (a half-updated installation) is
// refused with one diagnostics line and never started again.
// Hosts ended on request (EndHost: a stop the user asked for) do not count.
//
// KroLibrary's call lock lets one call in at a time. EndHost alone may be
// called from any thread, while a call is in progress, and never waits: the
// call's wait includes the stop, so the call returns at once even while the
// host's process is still being torn down. Such lingering hosts are kept
// until they have gone (at most two; meanwhile no fresh host is started).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "device/kro_library.h"
#include "device/text_sink.h"
#include "host_link/library_protocol.h"
#include "host_proxy/library_host_process.h"

namespace kro {

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

class HostedLibrary final : public KroLibrary {
public:
    // `programFolder` is searched as the program's own folder, and
    // `diagnostics` receives the line that names a call whose host crashed
    // or hung.
    HostedLibrary(LibraryHostLauncher& launcher, std::string programFolder, TextSink& diagnostics,
                  CallDeadlines deadlines = {});
    ~HostedLibrary() override;

    bool IsLoaded() const override { return loaded_.load(); }
    KroHandle Instance() const override { return instance_.load(); }
    bool HasEntry(KroExport which) const override;
    // Ends the running host without waiting for its process: the call in
    // progress fails at once (HostCrashed); when none is, the next call
    // fails so (a stop asked while a host starts ends it before its load);
    // the call after that starts a fresh host.
    bool EndHost() const override;
    bool IsHosted() const override { return true; }

private:
    using Clock = std::chrono::steady_clock;

    // Starts a host (of the program's architecture, else the other one when
    // the library is of that one), which loads the library from `folder`
    // as the in-process binding would and creates an instance.
    bool LoadLocked(const std::string& folder) override;
    // Deletes the instance and ends the host (within the close deadline).
    void CloseLocked() override;
    std::int32_t CheckDeviceLocked(std::uint8_t* deviceValue) const override;
    std::int32_t GetFileFlagLocked(char* area, std::uint8_t* flag1, std::uint8_t* flag2,
                                   std::uint8_t* flag3) const override;
    std::int32_t GetFileCountLocked(std::uint8_t category) const override;
    std::int32_t GetFileListLocked(std::uint8_t category, std::int32_t capacity, RecordingEntry* entries,
                                   std::int32_t* auxiliary, std::uint32_t* sizes,
                                   std::int32_t* durations) const override;
    std::int32_t GetFileIndexInfoLocked(std::uint8_t category, const char* name,
                                        RecordingIndexInfo* info) const override;
    std::int32_t MakeAviFileLocked(const char* name) const override;
    std::int32_t MakeKroFileLocked(const char* name) const override;
    std::int32_t MakePictureFileLocked(const char* name, std::int32_t* size,
                                       std::uint8_t* buffer) const override;

    // The reply to the request, of the request's own kind; nothing when the
    // host could not be had or ended during the call (ThreadCallFailure says
    // why).
    template <typename Asked>
    std::optional<typename Asked::Answer> Ask(const Asked& request, std::chrono::milliseconds deadline,
                                              const char* exportName) const;
    bool StartAndLoad(HostArchitecture architecture) const;
    bool Greeted(HostArchitecture architecture) const;
    std::unique_ptr<LibraryHostProcess> TakeHost() const;
    // A stop asked since the last call took one: consumes it, fails the call
    // as cut short and says so. False when none was asked.
    bool TakeStop(const char* exportName) const;
    // Ends a host taken out of host_, keeping it while it lingers.
    void Retire(std::unique_ptr<LibraryHostProcess> host) const;
    // Lets lingering hosts that have gone go; false while too many linger.
    bool RoomForAHost() const;
    // A host for the next call: the running one, or a fresh one when the
    // restart policy allows.
    bool EnsureHost() const;
    // Ends the host after a failed call, counts its end and says why.
    void Bury(const char* exportName, bool timedOut) const;
    bool RestartsPaused(Clock::time_point now) const;

    LibraryHostLauncher& launcher_;
    const std::string programFolder_;
    TextSink& diagnostics_;
    const CallDeadlines deadlines_;

    std::string folder_;   // the last successful Load's, for restarts
    bool wanted_ = false;  // loaded once and not closed since: restart on demand

    // A call may start a fresh host: what hosts coming and going change is
    // changed by calls too, under the call lock.
    mutable HostArchitecture architecture_;
    // Guards host_ and stopAsked_ against EndHost from another thread.
    mutable std::mutex hostMutex_;
    mutable std::unique_ptr<LibraryHostProcess> host_;
    mutable bool stopAsked_ = false;  // EndHost since a call last failed for it
    // Hosts told to end whose process has not gone yet, oldest first.
    mutable std::vector<std::unique_ptr<LibraryHostProcess>> lingering_;
    mutable bool lingeringTold_ = false;          // the diagnostics said so already
    mutable std::deque<Clock::time_point> ends_;  // when the recent hosts ended by a fault
    mutable bool lastEndAsked_ = false;           // the last host buried was ended on request
    // A host answered with another protocol version: none is started again.
    mutable bool otherProtocol_ = false;

    mutable std::atomic<bool> loaded_{false};
    mutable std::atomic<KroHandle> instance_{0};
    mutable std::atomic<std::uint32_t> exportMask_{0};
};

}  // namespace kro
