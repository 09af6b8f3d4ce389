#include "device/kro_library.h"

namespace kro {

KroLibrary::KroLibrary(ModuleLoader& loader) : loader_(loader) { Unload(); }

KroLibrary::~KroLibrary() { Close(); }

bool KroLibrary::Load(const std::string& folder) {
    if (instance_ != 0) return false;
    if (module_ == nullptr || !HasEveryRequiredEntry()) {
        module_ = LoadModule(folder, kKroLibraryFileName);
        if (module_ == nullptr) return false;
        for (int i = 0; i < kKroExportCount; ++i) entries_[i] = loader_.Symbol(module_, kKroExports[i].name);
        if (!HasEveryRequiredEntry()) {
            Unload();
            return false;
        }
    }
    instance_ = reinterpret_cast<KroCreateFn>(entries_[static_cast<int>(KroExport::Create)])();
    if (instance_ == 0) {
        Unload();
        return false;
    }
    return true;
}

ModuleLoader::Module KroLibrary::LoadModule(const std::string& folder, const char* fileName) {
    if (!folder.empty()) {
        if (auto module = loader_.Load(folder + '\\' + fileName)) return module;
    }
    const std::string program = loader_.ExecutablePath();
    const auto lastSeparator = program.rfind('\\');
    if (!program.empty() && lastSeparator != std::string::npos) {
        if (auto module = loader_.Load(program.substr(0, lastSeparator) + '\\' + fileName)) return module;
    }
    return loader_.Load(fileName);
}

bool KroLibrary::HasEveryRequiredEntry() const {
    for (int i = 0; i < kKroExportCount; ++i) {
        if (kKroExports[i].required && entries_[i] == nullptr) return false;
    }
    return true;
}

void KroLibrary::Close() {
    if (module_ != nullptr && instance_ != 0 && HasEntry(KroExport::Delete)) {
        reinterpret_cast<KroDeleteFn>(entries_[static_cast<int>(KroExport::Delete)])(instance_);
        instance_ = 0;
    }
    if (module_ != nullptr) Unload();
}

void KroLibrary::Unload() {
    if (module_ != nullptr) loader_.Free(module_);
    module_ = nullptr;
    for (auto& entry : entries_) entry = nullptr;
}

template <typename Fn>
Fn KroLibrary::Callable(KroExport which) const {
    if (module_ == nullptr || instance_ == 0) return nullptr;
    return reinterpret_cast<Fn>(entries_[static_cast<int>(which)]);
}

std::int32_t KroLibrary::CheckDevice(std::uint8_t* deviceValue) const {
    auto fn = Callable<KroCheckDeviceFn>(KroExport::CheckKroDevice);
    return fn ? fn(instance_, deviceValue) : 0;
}

std::int32_t KroLibrary::GetFileFlag(char* area, std::uint8_t* flag1, std::uint8_t* flag2,
                                     std::uint8_t* flag3) const {
    auto fn = Callable<KroGetFileFlagFn>(KroExport::GetFileFlag);
    return fn ? fn(instance_, area, flag1, flag2, flag3) : 0;
}

std::int32_t KroLibrary::GetFileCount(std::uint8_t category) const {
    auto fn = Callable<KroGetFileCountFn>(KroExport::GetFileCnt);
    return fn ? fn(instance_, category) : 0;
}

std::int32_t KroLibrary::GetFileList(std::uint8_t category, std::int32_t capacity, RecordingEntry* entries,
                                     std::int32_t* auxiliary, std::uint32_t* sizes,
                                     std::int32_t* durations) const {
    auto fn = Callable<KroGetFileListFn>(KroExport::GetFileListTt);
    return fn ? fn(instance_, category, capacity, entries, auxiliary, sizes, durations) : 0;
}

std::int32_t KroLibrary::GetFileIndexInfo(std::uint8_t category, const char* name,
                                          RecordingIndexInfo* info) const {
    auto fn = Callable<KroGetFileIndexInfoFn>(KroExport::GetFileIndexInfo);
    return fn ? fn(instance_, category, name, info) : 0;
}

std::int32_t KroLibrary::MakeAviFile(const char* name) const {
    auto fn = Callable<KroMakeFileFn>(KroExport::MakeAviFile);
    return fn ? fn(instance_, name) : 0;
}

std::int32_t KroLibrary::MakeKroFile(const char* name) const {
    auto fn = Callable<KroMakeFileFn>(KroExport::MakeKroFile);
    return fn ? fn(instance_, name) : 0;
}

std::int32_t KroLibrary::MakePictureFile(const char* name, std::int32_t* size, std::uint8_t* buffer) const {
    auto fn = Callable<KroMakePictureFileFn>(KroExport::MakePictureFile);
    return fn ? fn(instance_, name, size, buffer) : 0;
}

}  // namespace kro
