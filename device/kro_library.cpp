#include "device/kro_library.h"

#include <thread>

#include "device/kro_call.h"

namespace kro {
namespace {

// How long a call whose host was ended may take to come back out.
constexpr std::chrono::seconds kStuckCallReturnWait{2};

}  // namespace

KroLibrary::Use::Use(const KroLibrary& library) : users_(&library.users_) { ++*users_; }

KroLibrary::Use::~Use() {
    if (users_ != nullptr) --*users_;
}

KroLibrary::Use::Use(Use&& other) noexcept : users_(other.users_) { other.users_ = nullptr; }

KroLibrary::KroLibrary(ModuleLoader& loader) : loader_(&loader) { Unload(); }

KroLibrary::KroLibrary(LibraryHostLauncher& launcher, std::string programFolder, TextSink& diagnostics,
                       CallDeadlines deadlines)
    : hosted_(std::make_unique<HostedLibrary>(launcher, std::move(programFolder), diagnostics, deadlines)) {}

KroLibrary::~KroLibrary() { Close(); }

bool KroLibrary::Load(const std::string& folder) {
    const std::lock_guard lock(lock_);
    if (hosted_) return hosted_->Load(folder);
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

ModuleLoader::Module KroLibrary::LoadModule(const std::string& folder, const char* fileName) {
    if (!folder.empty()) {
        if (auto module = loader_->Load(folder + '\\' + fileName)) return module;
    }
    const std::string program = loader_->ExecutablePath();
    const auto lastSeparator = program.rfind('\\');
    if (!program.empty() && lastSeparator != std::string::npos) {
        if (auto module = loader_->Load(program.substr(0, lastSeparator) + '\\' + fileName)) return module;
    }
    return loader_->Load(fileName);
}

void* KroLibrary::FindExport(const char* name) {
    const ModuleLoader::Module module = module_.load();
    if (void* entry = loader_->Symbol(module, name)) return entry;
    // A __stdcall library built without a module-definition file exports
    // "_Name@N" (Microsoft's compiler) or "Name@N" (GNU's), N being the
    // bytes of arguments. The uncalled exports' signatures are unknown, so
    // every plausible N is tried: no export takes more than 16 arguments.
    constexpr int kMostArgumentBytes = 64;
    for (int bytes = 0; bytes <= kMostArgumentBytes; bytes += 4) {
        const std::string suffix = '@' + std::to_string(bytes);
        if (void* entry = loader_->Symbol(module, ('_' + (name + suffix)).c_str())) return entry;
        if (void* entry = loader_->Symbol(module, (name + suffix).c_str())) return entry;
    }
    return nullptr;
}

bool KroLibrary::HasEveryRequiredEntry() const {
    for (int i = 0; i < kKroExportCount; ++i) {
        if (kKroExports[i].required && entries_[i] == nullptr) return false;
    }
    return true;
}

void KroLibrary::Close() {
    const std::lock_guard lock(lock_);
    CloseLocked();
}

bool KroLibrary::CloseWithin(std::chrono::milliseconds wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    {
        std::unique_lock lock(lock_, std::defer_lock);
        if (!lock.try_lock_until(deadline)) {
            // A call stuck in a host is had back by ending the host; one
            // stuck in this process cannot be.
            if (!hosted_) return false;
            hosted_->EndHost();
            if (!lock.try_lock_for(kStuckCallReturnWait)) return false;
        }
        CloseLocked();
    }
    // Threads that queued for the lock meanwhile find no module and leave at
    // once; the object may go only when they have.
    while (users_.load() != 0) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void KroLibrary::CloseLocked() {
    if (hosted_) {
        hosted_->Close();
        return;
    }
    void* deleteEntry = entries_[static_cast<int>(KroExport::Delete)].load();
    if (module_ != nullptr && instance_ != 0 && deleteEntry != nullptr) {
        CallExport<KroDeleteFn>(deleteEntry, instance_.load());
        instance_ = 0;
    }
    if (module_ != nullptr) UnloadLocked();
}

void KroLibrary::Unload() {
    const std::lock_guard lock(lock_);
    UnloadLocked();
}

void KroLibrary::UnloadLocked() {
    if (hosted_) {
        hosted_->Close();
        return;
    }
    if (module_ != nullptr) loader_->Free(module_.load());
    module_ = nullptr;
    for (auto& entry : entries_) entry = nullptr;
}

bool KroLibrary::IsLoaded() const {
    return hosted_ ? hosted_->IsLoaded() : module_.load() != nullptr;
}

KroHandle KroLibrary::Instance() const {
    return hosted_ ? hosted_->Instance() : instance_.load();
}

bool KroLibrary::HasEntry(KroExport which) const {
    return hosted_ ? hosted_->HasEntry(which) : entries_[static_cast<int>(which)].load() != nullptr;
}

bool KroLibrary::EndHost() const {
    if (!hosted_) return false;
    hosted_->EndHost();
    return true;
}

template <typename Fn, typename... Args>
std::int32_t KroLibrary::CallLocked(KroExport which, Args... arguments) const {
    void* entry = entries_[static_cast<int>(which)].load();
    const KroHandle instance = instance_.load();
    if (module_ == nullptr || instance == 0 || entry == nullptr) {
        ThreadCallFailure() = CallFailure::NotReady;
        return 0;
    }
    ThreadCallFailure() = CallFailure::None;
    return CallExport<Fn>(entry, instance, arguments...);
}

template <typename Hosted>
std::int32_t KroLibrary::CallHosted(Hosted call) const {
    const Use use(*this);
    const std::lock_guard lock(lock_);
    return call(*hosted_);
}

template <typename Fn, typename... Args>
std::int32_t KroLibrary::Call(KroExport which, Args... arguments) const {
    const Use use(*this);
    const std::lock_guard lock(lock_);
    return CallLocked<Fn>(which, arguments...);
}

std::int32_t KroLibrary::CheckDevice(std::uint8_t* deviceValue) const {
    if (hosted_) return CallHosted([&](HostedLibrary& h) { return h.CheckDevice(deviceValue); });
    return Call<KroCheckDeviceFn>(KroExport::CheckKroDevice, deviceValue);
}

std::int32_t KroLibrary::GetFileFlag(char* area, std::uint8_t* flag1, std::uint8_t* flag2,
                                     std::uint8_t* flag3) const {
    if (hosted_) return CallHosted([&](HostedLibrary& h) { return h.GetFileFlag(area, flag1, flag2, flag3); });
    return Call<KroGetFileFlagFn>(KroExport::GetFileFlag, area, flag1, flag2, flag3);
}

std::int32_t KroLibrary::GetFileCount(std::uint8_t category) const {
    if (hosted_) return CallHosted([&](HostedLibrary& h) { return h.GetFileCount(category); });
    return Call<KroGetFileCountFn>(KroExport::GetFileCnt, category);
}

std::int32_t KroLibrary::GetFileList(std::uint8_t category, std::int32_t capacity, RecordingEntry* entries,
                                     std::int32_t* auxiliary, std::uint32_t* sizes,
                                     std::int32_t* durations) const {
    if (hosted_) {
        return CallHosted([&](HostedLibrary& h) {
            return h.GetFileList(category, capacity, entries, auxiliary, sizes, durations);
        });
    }
    return Call<KroGetFileListFn>(KroExport::GetFileListTt, category, capacity, entries, auxiliary, sizes,
                                  durations);
}

std::int32_t KroLibrary::GetFileIndexInfo(std::uint8_t category, const char* name,
                                          RecordingIndexInfo* info) const {
    if (hosted_) return CallHosted([&](HostedLibrary& h) { return h.GetFileIndexInfo(category, name, info); });
    return Call<KroGetFileIndexInfoFn>(KroExport::GetFileIndexInfo, category, name, info);
}

std::optional<std::int32_t> KroLibrary::TryGetFileIndexInfo(std::chrono::milliseconds wait,
                                                            std::uint8_t category, const char* name,
                                                            RecordingIndexInfo* info) const {
    const Use use(*this);
    std::unique_lock lock(lock_, std::defer_lock);
    if (!lock.try_lock_for(wait)) return std::nullopt;
    if (hosted_) return hosted_->GetFileIndexInfo(category, name, info);
    return CallLocked<KroGetFileIndexInfoFn>(KroExport::GetFileIndexInfo, category, name, info);
}

std::int32_t KroLibrary::MakeAviFile(const char* name) const {
    if (hosted_) return CallHosted([&](HostedLibrary& h) { return h.MakeAviFile(name); });
    return Call<KroMakeFileFn>(KroExport::MakeAviFile, name);
}

std::int32_t KroLibrary::MakeKroFile(const char* name) const {
    if (hosted_) return CallHosted([&](HostedLibrary& h) { return h.MakeKroFile(name); });
    return Call<KroMakeFileFn>(KroExport::MakeKroFile, name);
}

std::int32_t KroLibrary::MakePictureFile(const char* name, std::int32_t* size, std::uint8_t* buffer) const {
    if (hosted_) return CallHosted([&](HostedLibrary& h) { return h.MakePictureFile(name, size, buffer); });
    return Call<KroMakePictureFileFn>(KroExport::MakePictureFile, name, size, buffer);
}

}  // namespace kro
