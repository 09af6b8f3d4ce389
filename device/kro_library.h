// KroLibrary: the run-time binding of the device library. It finds and loads
// the library file, resolves the 32 exports, creates one library instance and
// forwards the ten calls the program makes. The forwarding operations may be
// called from several threads at once; Load and Close only from the owner
// while no other thread can call.
#pragma once

#include <cstdint>
#include <string>

#include "device/kro_api.h"
#include "device/module_loader.h"

namespace kro {

class KroLibrary {
public:
    explicit KroLibrary(ModuleLoader& loader = SystemModuleLoader());
    ~KroLibrary();
    KroLibrary(const KroLibrary&) = delete;
    KroLibrary& operator=(const KroLibrary&) = delete;

    // Loads the library (folder may be empty), resolves the exports and
    // creates an instance. False when any of that fails, and when an
    // instance already exists (then nothing changes).
    bool Load(const std::string& folder);
    // Deletes the instance and unloads the library.
    void Close();
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

    bool IsLoaded() const { return module_ != nullptr; }
    KroHandle Instance() const { return instance_; }
    bool HasEntry(KroExport which) const { return entries_[static_cast<int>(which)] != nullptr; }

private:
    ModuleLoader::Module LoadModule(const std::string& folder, const char* fileName);
    bool HasEveryRequiredEntry() const;
    // The entry of an export the program calls, when a call may be made.
    template <typename Fn>
    Fn Callable(KroExport which) const;

    ModuleLoader& loader_;
    KroHandle instance_ = 0;
    ModuleLoader::Module module_ = nullptr;
    void* entries_[kKroExportCount] = {};
};

}  // namespace kro
