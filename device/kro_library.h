// KroLibrary: the run-time binding of the device library, as its callers
// see it: it loads the library and creates one library instance, and
// forwards the ten calls the program makes. Two kinds stand behind it, chosen
// where the program is put together:
// - InProcessLibrary (device/in_process_library.h) loads the library file
//   into this process; the library's host, the tests and the benchmarks use
//   it;
// - HostedLibrary (host_proxy/hosted_library.h) carries every call to a host
//   process of its own, so that a crash or a hang inside the library costs
//   one call; the programs use it.
//
// A closed library owes us no re-entrancy, so the binding lets one thread in
// at a time: every call into the library, creation and deletion included,
// holds one lock. The poller, the list loads and the export worker wait
// their turn; the details popup waits only a short bound (TryGetFileIndexInfo)
// so the window never stalls behind a long conversion. Load runs before, and
// Close after, every other thread's calls; Close gives up rather than wait
// for ever on a call that never returns (CloseWithin), and the library then
// stays loaded.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "device/call_lock.h"
#include "device/kro_api.h"

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

class KroLibrary {
public:
    KroLibrary(const KroLibrary&) = delete;
    KroLibrary& operator=(const KroLibrary&) = delete;
    virtual ~KroLibrary() = default;

    // Loads the library (folder may be empty), resolves the exports and
    // creates an instance. False when any of that fails, and when an
    // instance already exists (then nothing changes).
    bool Load(const std::string& folder);
    // Deletes the instance and unloads the library, waiting as long as a
    // call in progress takes.
    void Close();
    // Close, giving up when another thread stays inside the library for
    // longer than `wait`. A hosted library ends its host itself, within the
    // bound, when a call is still inside then. True when the library is
    // closed and no thread is inside or waiting to enter it any more; false
    // leaves the library loaded and this object in use: its owner must then
    // keep it alive.
    bool CloseWithin(std::chrono::milliseconds wait);

    // Forwarding operations: the export's result, or 0 without calling when
    // the module, the instance or the entry point is missing.
    std::int32_t CheckDevice(std::uint8_t* deviceValue) const;
    std::int32_t GetFileFlag(char* area, std::uint8_t* flag1, std::uint8_t* flag2, std::uint8_t* flag3) const;
    std::int32_t GetFileCount(std::uint8_t category) const;
    std::int32_t GetFileList(std::uint8_t category, std::int32_t capacity, RecordingEntry* entries,
                             std::int32_t* auxiliary, std::uint32_t* sizes, std::int32_t* durations) const;
    std::int32_t GetFileIndexInfo(std::uint8_t category, const char* name, RecordingIndexInfo* info) const;
    std::int32_t MakeAviFile(const char* name) const;
    std::int32_t MakeKroFile(const char* name) const;
    std::int32_t MakePictureFile(const char* name, std::int32_t* size, std::uint8_t* buffer) const;
    // GetFileIndexInfo waiting at most `wait` for another caller to leave the
    // library; nothing when it stayed busy (the record is then untouched).
    std::optional<std::int32_t> TryGetFileIndexInfo(std::chrono::milliseconds wait, std::uint8_t category,
                                                    const char* name, RecordingIndexInfo* info) const;

    virtual bool IsLoaded() const = 0;
    virtual KroHandle Instance() const = 0;
    virtual bool HasEntry(KroExport which) const = 0;

    // Why the calling thread's last call gave 0 without the library's answer
    // (None when the library answered).
    static CallFailure LastCallFailure() { return ThreadCallFailure(); }
    // Ends the library's host at once, from any thread, without waiting for
    // its process to be gone: a call that is stuck inside the library
    // returns (failed), and so does the next call when none was in progress
    // (it was on its way, and a stop is why the host is ended); the call
    // after that starts a fresh host. Such ends were asked for: they do not
    // count toward the pause of restarts. False, with nothing done,
    // in-process, where a stuck call cannot be had back.
    virtual bool EndHost() const = 0;
    // Whether the library lives in a host process, so that EndHost can have
    // a stuck call back; known before anything is ended.
    virtual bool IsHosted() const = 0;

    // Counts its holder as a user of this object, from before it waits for
    // the lock until it has left the library, so CloseWithin knows when the
    // object may go. Every forwarding operation holds one; a thread started
    // to call the library is handed one by its starter.
    class Use {
    public:
        explicit Use(const KroLibrary& library);
        ~Use();
        Use(Use&& other) noexcept;
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;
        Use& operator=(Use&&) = delete;

    private:
        std::atomic<int>* users_;
    };

protected:
    KroLibrary() = default;

    // What each kind does, always with the call lock held: one thread at a
    // time. A call sets ThreadCallFailure.
    virtual bool LoadLocked(const std::string& folder) = 0;
    virtual void CloseLocked() = 0;
    virtual std::int32_t CheckDeviceLocked(std::uint8_t* deviceValue) const = 0;
    virtual std::int32_t GetFileFlagLocked(char* area, std::uint8_t* flag1, std::uint8_t* flag2,
                                           std::uint8_t* flag3) const = 0;
    virtual std::int32_t GetFileCountLocked(std::uint8_t category) const = 0;
    virtual std::int32_t GetFileListLocked(std::uint8_t category, std::int32_t capacity, RecordingEntry* entries,
                                           std::int32_t* auxiliary, std::uint32_t* sizes,
                                           std::int32_t* durations) const = 0;
    virtual std::int32_t GetFileIndexInfoLocked(std::uint8_t category, const char* name,
                                                RecordingIndexInfo* info) const = 0;
    virtual std::int32_t MakeAviFileLocked(const char* name) const = 0;
    virtual std::int32_t MakeKroFileLocked(const char* name) const = 0;
    virtual std::int32_t MakePictureFileLocked(const char* name, std::int32_t* size,
                                               std::uint8_t* buffer) const = 0;

private:
    template <typename Operation>
    std::int32_t Locked(Operation operation) const;

    // Held for every call into the library and for every change of the
    // kinds' state.
    mutable CallLock lock_;
    mutable std::atomic<int> users_{0};
};

}  // namespace kro
