#include "device/module_loader.h"

#include <windows.h>

#include "device/text_sink.h"

namespace kro {
namespace {

thread_local bool lastLoadWrongArchitecture = false;

class Win32ModuleLoader final : public ModuleLoader {
public:
    // The binding tries up to three places in turn; each failure says why
    // (not found, wrong architecture, a missing dependency, ...).
    Module Load(const std::string& path) override {
        HMODULE module = LoadLibraryA(path.c_str());
        if (module == nullptr) {
            // The system's answer for a DLL of the other bitness (and for a
            // file that is no DLL at all, which no process could load).
            lastLoadWrongArchitecture = GetLastError() == ERROR_BAD_EXE_FORMAT;
            ReportLastError("LoadLibraryA " + path);
        }
        return module;
    }

    bool LastLoadWasWrongArchitecture() override { return lastLoadWrongArchitecture; }

    void* Symbol(Module module, const char* name) override {
        return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
    }

    void Free(Module module) override { FreeLibrary(static_cast<HMODULE>(module)); }

    std::string ExecutablePath() override {
        char path[512] = {};
        const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
        if (length == 0 || length >= sizeof path) {
            if (length == 0) ReportLastError("GetModuleFileNameA");
            return {};
        }
        return std::string(path, length);
    }
};

}  // namespace

ModuleLoader& SystemModuleLoader() {
    static Win32ModuleLoader loader;
    return loader;
}

}  // namespace kro
