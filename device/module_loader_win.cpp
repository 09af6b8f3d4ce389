#include "device/module_loader.h"

#include <windows.h>

namespace kro {
namespace {

class Win32ModuleLoader final : public ModuleLoader {
public:
    Module Load(const std::string& path) override { return LoadLibraryA(path.c_str()); }

    void* Symbol(Module module, const char* name) override {
        return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
    }

    void Free(Module module) override { FreeLibrary(static_cast<HMODULE>(module)); }

    std::string ExecutablePath() override {
        char path[512] = {};
        const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
        if (length == 0 || length >= sizeof path) return {};
        return std::string(path, length);
    }
};

}  // namespace

ModuleLoader& SystemModuleLoader() {
    static Win32ModuleLoader loader;
    return loader;
}

}  // namespace kro
