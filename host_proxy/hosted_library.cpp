#include "host_proxy/hosted_library.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <type_traits>
#include <utility>
#include <variant>

#include "host_proxy/call_host.h"

namespace kro {
namespace {

constexpr std::size_t kRestartLimit = 3;
constexpr std::chrono::seconds kRestartWindow{60};
// Hosts told to end that have not gone yet: beyond this many no fresh host
// is started, so a card reader that wedges every host cannot make them pile
// up. The newest live host comes on top.
constexpr std::size_t kMostLingering = 2;
// How long a fresh host's start waits for the oldest of those to go.
constexpr std::chrono::milliseconds kLingerWait{500};
// How long a host that failed by itself is given to be gone.
constexpr std::chrono::milliseconds kCrashEndWait{2000};

constexpr char kCutShort[] = " was cut short: the library host was ended on request";

HostArchitecture OwnArchitecture() {
    return sizeof(void*) == 4 ? HostArchitecture::X86 : HostArchitecture::X64;
}

HostArchitecture OtherArchitecture(HostArchitecture architecture) {
    return architecture == HostArchitecture::X86 ? HostArchitecture::X64 : HostArchitecture::X86;
}

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

}  // namespace

HostedLibrary::HostedLibrary(LibraryHostLauncher& launcher, std::string programFolder, TextSink& diagnostics,
                             CallDeadlines deadlines)
    : launcher_(launcher),
      programFolder_(std::move(programFolder)),
      diagnostics_(diagnostics),
      deadlines_(deadlines),
      architecture_(OwnArchitecture()) {}

HostedLibrary::~HostedLibrary() {
    Close();
}

bool HostedLibrary::HasEntry(KroExport which) const {
    return loaded_.load() && (exportMask_.load() & (std::uint32_t{1} << static_cast<int>(which))) != 0;
}

bool HostedLibrary::LoadLocked(const std::string& folder) {
    if (loaded_.load() || otherProtocol_) return false;
    folder_ = folder;
    if (!RoomForAHost() || !StartAndLoad(OwnArchitecture())) return false;
    wanted_ = true;
    return true;
}

// One host: started, asked to load. A library of the other architecture is
// tried once in that architecture's host.
bool HostedLibrary::StartAndLoad(HostArchitecture architecture) const {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (TakeStop("KRO_Create")) return false;
        // Outside the host lock: starting a process takes a while, and
        // EndHost must never wait for it.
        std::unique_ptr<LibraryHostProcess> started = launcher_.Start(architecture);
        if (!started) {
            diagnostics_.Write(std::string("KROLib: the library host ") + HostFileName(architecture) +
                               " could not be started\n");
            return false;
        }
        {
            const std::lock_guard lock(hostMutex_);
            host_ = std::move(started);
            // A stop asked while the host started ends it before its load.
            if (stopAsked_) host_->End();
        }
        if (!Greeted(architecture)) return false;
        const auto reply = Ask(LoadRequest{folder_, programFolder_}, deadlines_.load, "KRO_Create");
        if (!reply) return false;
        if (reply->loaded) {
            architecture_ = architecture;
            exportMask_ = reply->exportMask;
            // The instance lives in the host; here it only says there is one.
            instance_ = 1;
            loaded_ = true;
            return true;
        }
        Retire(TakeHost());
        if (reply->failure != LoadFailure::WrongArchitecture || attempt == 1) return false;
        architecture = OtherArchitecture(architecture);
    }
    return false;
}

// The first exchange with a fresh host. One that does not answer is buried
// as a failed load; one of another protocol version is ended without being
// counted as a fault, and none is started again: the same files would give
// the same answer.
bool HostedLibrary::Greeted(HostArchitecture architecture) const {
    LibraryChannel* channel = nullptr;
    {
        const std::lock_guard lock(hostMutex_);
        if (!host_) return false;
        channel = &host_->Channel();
    }
    const auto due = Clock::now() + deadlines_.load;
    const std::optional<std::uint32_t> version = GreetHost(*channel, due);
    if (!version) {
        Bury("KRO_Create", Clock::now() >= due);
        return false;
    }
    if (*version == kProtocolVersion) return true;
    Retire(TakeHost());
    otherProtocol_ = true;
    diagnostics_.Write(std::string("KROLib: the library host ") + HostFileName(architecture) +
                       " speaks protocol version " + std::to_string(*version) + ", this program version " +
                       std::to_string(kProtocolVersion) + "; install KroFileList again so that they match\n");
    return false;
}

void HostedLibrary::CloseLocked() {
    wanted_ = false;
    loaded_ = false;
    instance_ = 0;
    exportMask_ = 0;
    if (host_) {
        // The instance goes on the host's thread; a host that does not
        // answer in time, or is ended meanwhile, is ended all the same.
        CallHost(host_->Channel(), CloseRequest{}, Clock::now() + deadlines_.close);
        Retire(TakeHost());
    }
    // A stop asked for after the last call has nothing left to stop.
    const std::lock_guard lock(hostMutex_);
    stopAsked_ = false;
}

bool HostedLibrary::EndHost() const {
    const std::lock_guard lock(hostMutex_);
    stopAsked_ = true;
    if (host_) host_->End();
    return true;
}

std::unique_ptr<LibraryHostProcess> HostedLibrary::TakeHost() const {
    const std::lock_guard lock(hostMutex_);
    return std::move(host_);
}

bool HostedLibrary::TakeStop(const char* exportName) const {
    {
        const std::lock_guard lock(hostMutex_);
        if (!std::exchange(stopAsked_, false)) return false;
    }
    lastEndAsked_ = true;
    ThreadCallFailure() = CallFailure::HostCrashed;
    diagnostics_.Write(std::string("KROLib: ") + exportName + kCutShort + "\n");
    return true;
}

void HostedLibrary::Retire(std::unique_ptr<LibraryHostProcess> host) const {
    if (!host) return;
    host->End();
    if (!host->ExitCode()) lingering_.push_back(std::move(host));
}

bool HostedLibrary::RoomForAHost() const {
    const auto gone = [](const std::unique_ptr<LibraryHostProcess>& host) {
        return host->ExitCode().has_value();
    };
    std::erase_if(lingering_, gone);
    // Ended a moment ago, the last one is usually gone within this wait.
    if (lingering_.size() >= kMostLingering && lingering_.front()->WaitForEnd(kLingerWait))
        std::erase_if(lingering_, gone);
    if (lingering_.size() < kMostLingering) {
        lingeringTold_ = false;
        return true;
    }
    if (!std::exchange(lingeringTold_, true)) {
        diagnostics_.Write(
            "KROLib: earlier library hosts are still ending; no fresh host is started until one has gone\n");
    }
    return false;
}

bool HostedLibrary::RestartsPaused(Clock::time_point now) const {
    while (!ends_.empty() && now - ends_.front() >= kRestartWindow) ends_.pop_front();
    return ends_.size() >= kRestartLimit;
}

bool HostedLibrary::EnsureHost() const {
    lastEndAsked_ = false;
    if (host_) return true;
    // Hosts still ending are no fault of the library's: no end is counted.
    if (otherProtocol_ || RestartsPaused(Clock::now()) || !RoomForAHost()) return false;
    // Loaded stays true meanwhile: another thread asking whether it may call
    // (the export's check before a conversion) must not see the library
    // gone while a fresh host starts; a call finds out the host's fate.
    const std::size_t endsBefore = ends_.size();
    if (StartAndLoad(architecture_)) return true;
    // A fresh host that could not load the library counts as an end too
    // (one that crashed in the load was counted already), so that a library
    // gone bad is not started again once a second; one ended on request
    // does not.
    if (ends_.size() == endsBefore && !lastEndAsked_) ends_.push_back(Clock::now());
    return false;
}

void HostedLibrary::Bury(const char* exportName, bool timedOut) const {
    std::unique_ptr<LibraryHostProcess> ended;
    bool asked = false;
    {
        const std::lock_guard lock(hostMutex_);
        ended = std::move(host_);
        asked = std::exchange(stopAsked_, false);
    }
    if (!ended) return;
    // A host that failed by itself (a crash) is ending on its own: a moment
    // for it to be gone, so that its exit code can be named. Nothing waits
    // for a host that was ended here or on request.
    if (!asked && !timedOut) ended->WaitForEnd(kCrashEndWait);
    ended->End();
    const std::optional<std::uint32_t> code = ended->ExitCode();
    ThreadCallFailure() = timedOut ? CallFailure::HostHung : CallFailure::HostCrashed;
    // A stop the user asked for (the export's Stop, a close, Ctrl+C) is no
    // fault of the library: only crashes and deadlines count toward the
    // pause.
    lastEndAsked_ = asked;
    if (!asked) ends_.push_back(Clock::now());
    diagnostics_.Write(std::string("KROLib: ") + exportName +
                       (asked      ? kCutShort
                        : timedOut ? " did not answer in time; the library host was ended"
                                   : " failed: the library host ended") +
                       (code && !asked ? " with code " + Hex(*code) : std::string()) + "\n");
    Retire(std::move(ended));
}

template <typename Asked>
std::optional<typename Asked::Answer> HostedLibrary::Ask(const Asked& request,
                                                         std::chrono::milliseconds deadline,
                                                         const char* exportName) const {
    ThreadCallFailure() = CallFailure::None;
    // A name no message can carry (too long, or holding a NUL) is no call:
    // the host is not to blame for it.
    const auto frame = EncodeRequest(request);
    if (!frame) {
        ThreadCallFailure() = CallFailure::NotReady;
        return std::nullopt;
    }
    if constexpr (!std::is_same_v<Asked, LoadRequest>) {
        // Never loaded, or closed: nothing to call, as in-process.
        if (!wanted_) {
            ThreadCallFailure() = CallFailure::NotReady;
            return std::nullopt;
        }
        if (!EnsureHost()) {
            // A start cut short by a stop fails as the stopped call would.
            ThreadCallFailure() = lastEndAsked_ ? CallFailure::HostCrashed : CallFailure::HostUnavailable;
            return std::nullopt;
        }
    }
    LibraryChannel* channel = nullptr;
    {
        const std::lock_guard lock(hostMutex_);
        if (!host_) {
            ThreadCallFailure() = CallFailure::HostUnavailable;
            return std::nullopt;
        }
        channel = &host_->Channel();
    }
    const auto due = deadline.count() > 0 ? Clock::now() + deadline : LibraryChannel::kNoDeadline;
    const std::optional<Reply> reply = CallHost(*channel, request, *frame, due);
    if (!reply) {
        Bury(exportName, Clock::now() >= due);
        return std::nullopt;
    }
    const auto& answer = std::get<typename Asked::Answer>(*reply);
    if (!answer.called) ThreadCallFailure() = CallFailure::NotReady;
    return answer;
}

std::int32_t HostedLibrary::CheckDeviceLocked(std::uint8_t* deviceValue) const {
    const auto reply = Ask(CheckDeviceRequest{*deviceValue}, deadlines_.checkDevice, "KRO_Check_Kro_Device");
    if (!reply) return 0;
    *deviceValue = reply->deviceValue;
    return reply->result;
}

std::int32_t HostedLibrary::GetFileFlagLocked(char* area, std::uint8_t* flag1, std::uint8_t* flag2,
                                              std::uint8_t* flag3) const {
    const auto reply = Ask(GetFileFlagRequest{}, deadlines_.cardListing, "KRO_Get_File_Flag");
    if (!reply) return 0;
    std::copy(reply->area.begin(), reply->area.end(), area);
    *flag1 = reply->flag1;
    *flag2 = reply->flag2;
    *flag3 = reply->flag3;
    return reply->result;
}

std::int32_t HostedLibrary::GetFileCountLocked(std::uint8_t category) const {
    const auto reply = Ask(GetFileCountRequest{category}, deadlines_.cardListing, "KRO_Get_File_Cnt");
    return reply ? reply->result : 0;
}

std::int32_t HostedLibrary::GetFileListLocked(std::uint8_t category, std::int32_t capacity,
                                              RecordingEntry* entries, std::int32_t* auxiliary,
                                              std::uint32_t* sizes, std::int32_t* durations) const {
    // A count beyond what one reply may carry lists nothing, as a card too
    // big to load does.
    if (capacity < 0 || capacity > kMaxListCapacity) {
        ThreadCallFailure() = CallFailure::NotReady;
        return 0;
    }
    const auto reply =
        Ask(GetFileListRequest{category, capacity}, deadlines_.cardListing, "KRO_Get_File_List_tt");
    if (!reply) return 0;
    // The reply holds exactly `capacity` of each (checked when decoded).
    const auto count = static_cast<std::size_t>(capacity);
    if (entries != nullptr) std::copy_n(reply->entries.begin(), count, entries);
    if (auxiliary != nullptr) std::copy_n(reply->auxiliary.begin(), count, auxiliary);
    if (sizes != nullptr) std::copy_n(reply->sizes.begin(), count, sizes);
    if (durations != nullptr) std::copy_n(reply->durations.begin(), count, durations);
    return reply->result;
}

std::int32_t HostedLibrary::GetFileIndexInfoLocked(std::uint8_t category, const char* name,
                                                   RecordingIndexInfo* info) const {
    const auto reply =
        Ask(GetFileIndexInfoRequest{category, name}, deadlines_.details, "KRO_Get_File_Index_Info");
    if (!reply) return 0;
    *info = reply->info;
    return reply->result;
}

std::int32_t HostedLibrary::MakeAviFileLocked(const char* name) const {
    const auto reply = Ask(MakeAviFileRequest{name}, std::chrono::milliseconds(0), "KRO_Make_Avi_File");
    return reply ? reply->result : 0;
}

std::int32_t HostedLibrary::MakeKroFileLocked(const char* name) const {
    const auto reply = Ask(MakeKroFileRequest{name}, std::chrono::milliseconds(0), "KRO_Make_Kro_File");
    return reply ? reply->result : 0;
}

std::int32_t HostedLibrary::MakePictureFileLocked(const char* name, std::int32_t* size,
                                                  std::uint8_t* buffer) const {
    const auto reply =
        Ask(MakePictureFileRequest{name}, std::chrono::milliseconds(0), "KRO_Make_Picture_File");
    if (!reply) return 0;
    if (reply->overrun) {
        // The host's guard saw the library write past its buffer: nothing of
        // it is handed on.
        ThreadCallFailure() = CallFailure::WrotePastBuffer;
        *size = 0;
        return 0;
    }
    std::copy(reply->bytes.begin(), reply->bytes.end(), buffer);
    *size = reply->length;
    return reply->result;
}

}  // namespace kro
