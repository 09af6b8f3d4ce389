// Seam: loading a dynamic library and finding its exports. The Win32
// implementation uses LoadLibraryA/GetProcAddress/FreeLibrary/
// GetModuleFileNameA; the POSIX twin uses dlopen so the binding is tested
// natively against real shared libraries.
#pragma once

#include <string>

namespace kro {

class ModuleLoader {
public:
    using Module = void*;

    virtual ~ModuleLoader() = default;
    // Loads the library at a path written with backslashes; null on failure.
    virtual Module Load(const std::string& path) = 0;
    virtual void* Symbol(Module module, const char* name) = 0;
    virtual void Free(Module module) = 0;
    // Full path of the running program with backslashes as separators,
    // at most 511 characters; empty when it cannot be had.
    virtual std::string ExecutablePath() = 0;
    // After a Load on the calling thread that gave no module: whether the
    // file was a library built for another architecture, which a process
    // of the other bitness could load. False when the system does not say.
    virtual bool LastLoadWasWrongArchitecture() { return false; }
};

// The platform's loader (one program-wide object).
ModuleLoader& SystemModuleLoader();

// The running program's folder (without the last backslash), as the binding
// searches it; empty when the program's path cannot be had.
inline std::string ExecutableFolder(ModuleLoader& loader) {
    const std::string program = loader.ExecutablePath();
    const auto lastSeparator = program.rfind('\\');
    return lastSeparator == std::string::npos ? std::string() : program.substr(0, lastSeparator);
}

}  // namespace kro
