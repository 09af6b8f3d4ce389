// InProcessLibrary: the device library loaded into this process. It finds the
// library file (the given folder, the program's own folder, then the system
// folder; never by bare name), resolves the 32 exports under their plain or
// __stdcall-decorated names, creates one instance and calls the exports
// directly. The library's host binds it so; the tests and benchmarks do too.
#pragma once

#include <atomic>
#include <string>

#include "device/kro_library.h"
#include "device/module_loader.h"

namespace kro {

class InProcessLibrary final : public KroLibrary {
public:
    explicit InProcessLibrary(ModuleLoader& loader) : loader_(loader) {}
    ~InProcessLibrary() override { Close(); }

    bool IsLoaded() const override { return module_.load() != nullptr; }
    KroHandle Instance() const override { return instance_.load(); }
    bool HasEntry(KroExport which) const override {
        return entries_[static_cast<int>(which)].load() != nullptr;
    }
    // A call stuck in this process cannot be had back.
    bool EndHost() const override { return false; }
    bool IsHosted() const override { return false; }

private:
    bool LoadLocked(const std::string& folder) override;
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

    ModuleLoader::Module LoadModule(const std::string& folder, const char* fileName);
    // The export's address under its plain name, else under a 32-bit
    // __stdcall decoration ("_Name@N" or "Name@N"); null when absent.
    void* FindExport(const char* name);
    bool HasEveryRequiredEntry() const;
    void UnloadLocked();
    // Calls an export when a call may be made; 0 (NotReady) otherwise.
    template <typename Fn, typename... Args>
    std::int32_t Call(KroExport which, Args... arguments) const;

    ModuleLoader& loader_;
    // Changed under the call lock; atomic so that IsLoaded, Instance and
    // HasEntry answer at once even while a call holds the lock.
    std::atomic<KroHandle> instance_{0};
    std::atomic<ModuleLoader::Module> module_{nullptr};
    std::atomic<void*> entries_[kKroExportCount] = {};
};

}  // namespace kro
