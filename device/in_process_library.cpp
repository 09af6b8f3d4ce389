#include "device/in_process_library.h"

#include "device/kro_call.h"

namespace kro {

bool InProcessLibrary::LoadLocked(const std::string& folder) {
    if (instance_ != 0) return false;
    if (module_ == nullptr || !HasEveryRequiredEntry()) {
        module_ = LoadModule(folder, kKroLibraryFileName);
        if (module_ == nullptr) return false;
        for (int i = 0; i < kKroExportCount; ++i) entries_[i] = FindExport(kKroExports[i].name);
        if (!HasEveryRequiredEntry()) {
            UnloadLocked();
            return false;
        }
    }
    instance_ = CallExport<KroCreateFn>(entries_[static_cast<int>(KroExport::Create)].load());
    if (instance_ == 0) {
        UnloadLocked();
        return false;
    }
    return true;
}

// The given folder, the program's own, then the system folder: each by its
// absolute path. The library is never looked up by bare name, which would
// search the current folder and PATH, folders that unelevated processes may
// write, from inside an elevated one.
ModuleLoader::Module InProcessLibrary::LoadModule(const std::string& folder, const char* fileName) {
    for (const std::string& place : {folder, ExecutableFolder(loader_), loader_.SystemFolder()}) {
        if (place.empty()) continue;
        if (auto module = loader_.Load(place + '\\' + fileName)) return module;
    }
    return nullptr;
}

void* InProcessLibrary::FindExport(const char* name) {
    const ModuleLoader::Module module = module_.load();
    if (void* entry = loader_.Symbol(module, name)) return entry;
    // A __stdcall library built without a module-definition file exports
    // "_Name@N" (Microsoft's compiler) or "Name@N" (GNU's), N being the
    // bytes of arguments. The uncalled exports' signatures are unknown, so
    // every plausible N is tried: no export takes more than 16 arguments.
    constexpr int kMostArgumentBytes = 64;
    for (int bytes = 0; bytes <= kMostArgumentBytes; bytes += 4) {
        const std::string suffix = '@' + std::to_string(bytes);
        if (void* entry = loader_.Symbol(module, ('_' + (name + suffix)).c_str())) return entry;
        if (void* entry = loader_.Symbol(module, (name + suffix).c_str())) return entry;
    }
    return nullptr;
}

bool InProcessLibrary::HasEveryRequiredEntry() const {
    for (int i = 0; i < kKroExportCount; ++i) {
        if (kKroExports[i].required && entries_[i] == nullptr) return false;
    }
    return true;
}

void InProcessLibrary::CloseLocked() {
    void* deleteEntry = entries_[static_cast<int>(KroExport::Delete)].load();
    if (module_ != nullptr && instance_ != 0 && deleteEntry != nullptr) {
        CallExport<KroDeleteFn>(deleteEntry, instance_.load());
        instance_ = 0;
    }
    if (module_ != nullptr) UnloadLocked();
}

void InProcessLibrary::UnloadLocked() {
    if (module_ != nullptr) loader_.Free(module_.load());
    module_ = nullptr;
    for (auto& entry : entries_) entry = nullptr;
}

template <typename Fn, typename... Args>
std::int32_t InProcessLibrary::Call(KroExport which, Args... arguments) const {
    void* entry = entries_[static_cast<int>(which)].load();
    const KroHandle instance = instance_.load();
    if (module_ == nullptr || instance == 0 || entry == nullptr) {
        ThreadCallFailure() = CallFailure::NotReady;
        return 0;
    }
    ThreadCallFailure() = CallFailure::None;
    return CallExport<Fn>(entry, instance, arguments...);
}

std::int32_t InProcessLibrary::CheckDeviceLocked(std::uint8_t* deviceValue) const {
    return Call<KroCheckDeviceFn>(KroExport::CheckKroDevice, deviceValue);
}

std::int32_t InProcessLibrary::GetFileFlagLocked(char* area, std::uint8_t* flag1, std::uint8_t* flag2,
                                                 std::uint8_t* flag3) const {
    return Call<KroGetFileFlagFn>(KroExport::GetFileFlag, area, flag1, flag2, flag3);
}

std::int32_t InProcessLibrary::GetFileCountLocked(std::uint8_t category) const {
    return Call<KroGetFileCountFn>(KroExport::GetFileCnt, category);
}

std::int32_t InProcessLibrary::GetFileListLocked(std::uint8_t category, std::int32_t capacity,
                                                 RecordingEntry* entries, std::int32_t* auxiliary,
                                                 std::uint32_t* sizes, std::int32_t* durations) const {
    return Call<KroGetFileListFn>(KroExport::GetFileListTt, category, capacity, entries, auxiliary, sizes,
                                  durations);
}

std::int32_t InProcessLibrary::GetFileIndexInfoLocked(std::uint8_t category, const char* name,
                                                      RecordingIndexInfo* info) const {
    return Call<KroGetFileIndexInfoFn>(KroExport::GetFileIndexInfo, category, name, info);
}

std::int32_t InProcessLibrary::MakeAviFileLocked(const char* name) const {
    return Call<KroMakeFileFn>(KroExport::MakeAviFile, name);
}

std::int32_t InProcessLibrary::MakeKroFileLocked(const char* name) const {
    return Call<KroMakeFileFn>(KroExport::MakeKroFile, name);
}

std::int32_t InProcessLibrary::MakePictureFileLocked(const char* name, std::int32_t* size,
                                                     std::uint8_t* buffer) const {
    return Call<KroMakePictureFileFn>(KroExport::MakePictureFile, name, size, buffer);
}

}  // namespace kro
