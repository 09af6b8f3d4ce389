#include "device/module_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace kro {
namespace {

thread_local bool lastLoadWrongArchitecture = false;

// The binding composes Windows paths; here they are mapped to POSIX ones and
// back, so the same search order is exercised by the native tests.
class PosixModuleLoader final : public ModuleLoader {
public:
    Module Load(const std::string& path) override {
        std::string posixPath = path;
        std::replace(posixPath.begin(), posixPath.end(), '\\', '/');
        // A bare or relative name would go through the system's search, as
        // on Windows: never.
        lastLoadWrongArchitecture = false;
        if (posixPath.empty() || posixPath[0] != '/') return nullptr;
        Module module = dlopen(posixPath.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) {
            // glibc's text for an ELF file of the other class (32 or 64 bits).
            const char* error = dlerror();
            lastLoadWrongArchitecture = error != nullptr && std::strstr(error, "wrong ELF class") != nullptr;
        }
        return module;
    }

    bool LastLoadWasWrongArchitecture() override { return lastLoadWrongArchitecture; }

    void* Symbol(Module module, const char* name) override { return dlsym(module, name); }

    void Free(Module module) override { dlclose(module); }

    std::string ExecutablePath() override {
        char path[512] = {};
        const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
        // A full buffer may hold a cut path: treat it as too long.
        if (length <= 0 || length >= static_cast<ssize_t>(sizeof path)) return {};
        std::string result(path, static_cast<size_t>(length));
        std::replace(result.begin(), result.end(), '/', '\\');
        return result;
    }
};

}  // namespace

ModuleLoader& SystemModuleLoader() {
    static PosixModuleLoader loader;
    return loader;
}

// The native builds stand in for the portable code's tests only; they load
// by absolute path all the same.
bool NarrowLibrarySearch() {
    return true;
}

}  // namespace kro
