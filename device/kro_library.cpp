#include "device/kro_library.h"

#include <algorithm>
#include <thread>

namespace kro {
namespace {

// The part of CloseWithin's bound kept for a call whose host was ended to
// come back out (it returns at once; this is room for a loaded machine), at
// most half the bound.
constexpr std::chrono::milliseconds kStuckCallReturnWait{1000};

}  // namespace

CallFailure& ThreadCallFailure() {
    thread_local CallFailure failure = CallFailure::None;
    return failure;
}

KroLibrary::Use::Use(const KroLibrary& library) : users_(&library.users_) { ++*users_; }

KroLibrary::Use::~Use() {
    if (users_ != nullptr) --*users_;
}

KroLibrary::Use::Use(Use&& other) noexcept : users_(other.users_) { other.users_ = nullptr; }

bool KroLibrary::Load(const std::string& folder) {
    const std::lock_guard lock(lock_);
    return LoadLocked(folder);
}

void KroLibrary::Close() {
    const std::lock_guard lock(lock_);
    CloseLocked();
}

bool KroLibrary::CloseWithin(std::chrono::milliseconds wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    {
        std::unique_lock lock(lock_, std::defer_lock);
        // A call stuck in a host is had back by ending the host, early
        // enough for it to come back out within the bound; one stuck in
        // this process cannot be, and is waited for to the end.
        const auto endAt =
            IsHosted() ? deadline - std::min<std::chrono::milliseconds>(wait / 2, kStuckCallReturnWait)
                       : deadline;
        if (!lock.try_lock_until(endAt)) {
            if (!EndHost() || !lock.try_lock_until(deadline)) return false;
        }
        CloseLocked();
    }
    // Threads that queued for the lock meanwhile find no library and leave
    // at once; the object may go only when they have.
    while (users_.load() != 0) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

template <typename Operation>
std::int32_t KroLibrary::Locked(Operation operation) const {
    const Use use(*this);
    const std::lock_guard lock(lock_);
    return operation();
}

std::int32_t KroLibrary::CheckDevice(std::uint8_t* deviceValue) const {
    return Locked([&] { return CheckDeviceLocked(deviceValue); });
}

std::int32_t KroLibrary::GetFileFlag(char* area, std::uint8_t* flag1, std::uint8_t* flag2,
                                     std::uint8_t* flag3) const {
    return Locked([&] { return GetFileFlagLocked(area, flag1, flag2, flag3); });
}

std::int32_t KroLibrary::GetFileCount(std::uint8_t category) const {
    return Locked([&] { return GetFileCountLocked(category); });
}

std::int32_t KroLibrary::GetFileList(std::uint8_t category, std::int32_t capacity, RecordingEntry* entries,
                                     std::int32_t* auxiliary, std::uint32_t* sizes,
                                     std::int32_t* durations) const {
    return Locked([&] { return GetFileListLocked(category, capacity, entries, auxiliary, sizes, durations); });
}

std::int32_t KroLibrary::GetFileIndexInfo(std::uint8_t category, const char* name,
                                          RecordingIndexInfo* info) const {
    return Locked([&] { return GetFileIndexInfoLocked(category, name, info); });
}

std::optional<std::int32_t> KroLibrary::TryGetFileIndexInfo(std::chrono::milliseconds wait,
                                                            std::uint8_t category, const char* name,
                                                            RecordingIndexInfo* info) const {
    const Use use(*this);
    std::unique_lock lock(lock_, std::defer_lock);
    if (!lock.try_lock_for(wait)) return std::nullopt;
    return GetFileIndexInfoLocked(category, name, info);
}

std::int32_t KroLibrary::MakeAviFile(const char* name) const {
    return Locked([&] { return MakeAviFileLocked(name); });
}

std::int32_t KroLibrary::MakeKroFile(const char* name) const {
    return Locked([&] { return MakeKroFileLocked(name); });
}

std::int32_t KroLibrary::MakePictureFile(const char* name, std::int32_t* size, std::uint8_t* buffer) const {
    return Locked([&] { return MakePictureFileLocked(name, size, buffer); });
}

}  // namespace kro
