// KroLibrary: the run-time binding of the device library. It finds and loads
// the library file, resolves the 32 exports, creates one library instance and
// forwards the ten calls the program makes.
//
// The programs bind it through a host process (the constructor with a
// LibraryHostLauncher, hosted_library.h): the library then never runs in the
// program, and a crash or a hang inside it costs one call. The host itself,
// the tests and the benchmarks bind it in-process over a ModuleLoader.
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
#include <memory>
#include <optional>
#include <string>

#include "device/call_lock.h"
#include "host_proxy/hosted_library.h"
#include "device/kro_api.h"
#include "device/module_loader.h"

namespace kro {

class KroLibrary {
public:
    // In-process: the library is loaded into this process.
    explicit KroLibrary(ModuleLoader& loader);
    // Through a host process started by the launcher; `programFolder` is
    // searched as the program's own folder, and `diagnostics` receives the
    // line that names a call whose host crashed or hung.
    KroLibrary(LibraryHostLauncher& launcher, std::string programFolder, TextSink& diagnostics,
               CallDeadlines deadlines = {});
    ~KroLibrary();
    KroLibrary(const KroLibrary&) = delete;
    KroLibrary& operator=(const KroLibrary&) = delete;

    // Loads the library (folder may be empty), resolves the exports and
    // creates an instance. False when any of that fails, and when an
    // instance already exists (then nothing changes).
    bool Load(const std::string& folder);
    // Deletes the instance and unloads the library, waiting as long as a
    // call in progress takes.
    void Close();
    // Close, giving up when another thread stays inside the library for
    // longer than `wait`. True when the library is closed and no thread is
    // inside or waiting to enter it any more; false leaves the library loaded
    // and this object in use: its owner must then keep it alive.
    bool CloseWithin(std::chrono::milliseconds wait);
    // Releases the module and clears the entry points; the instance stays.
    void Unload();

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

    bool IsLoaded() const;
    KroHandle Instance() const;
    bool HasEntry(KroExport which) const;

    // Why the calling thread's last call gave 0 without the library's answer
    // (None when the library answered).
    static CallFailure LastCallFailure() { return ThreadCallFailure(); }
    // Ends the library's host at once, from any thread: a call that is stuck
    // inside the library returns (failed), and so does the next call when
    // none was in progress (it was on its way, and a stop is why the host
    // is ended); the call after that starts a fresh host. False, with
    // nothing done, in-process, where a stuck call cannot be had back.
    bool EndHost() const;
    // Whether the library lives in a host process, so that EndHost can have
    // a stuck call back; known before anything is ended.
    bool IsHosted() const { return hosted_ != nullptr; }

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

private:

    ModuleLoader::Module LoadModule(const std::string& folder, const char* fileName);
    // The export's address under its plain name, else under a 32-bit
    // __stdcall decoration ("_Name@N" or "Name@N"); null when absent.
    void* FindExport(const char* name);
    bool HasEveryRequiredEntry() const;
    void CloseLocked();
    void UnloadLocked();
    // Calls an export the program uses when a call may be made (the lock
    // held); 0 otherwise.
    template <typename Fn, typename... Args>
    std::int32_t CallLocked(KroExport which, Args... arguments) const;
    template <typename Fn, typename... Args>
    std::int32_t Call(KroExport which, Args... arguments) const;

    template <typename Hosted>
    std::int32_t CallHosted(Hosted call) const;

    ModuleLoader* loader_ = nullptr;
    // Set when the library lives in a host process; the fields below then
    // stay empty.
    std::unique_ptr<HostedLibrary> hosted_;
    // Held for every call into the library and for every change of the
    // fields below it. The fields are atomic so that IsLoaded, Instance and
    // HasEntry answer at once even while a call holds the lock.
    mutable CallLock lock_;
    mutable std::atomic<int> users_{0};
    std::atomic<KroHandle> instance_{0};
    std::atomic<ModuleLoader::Module> module_{nullptr};
    std::atomic<void*> entries_[kKroExportCount] = {};
};

}  // namespace kro
