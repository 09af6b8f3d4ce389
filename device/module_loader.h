// Seam: loading a dynamic library and finding its exports. The Win32
// implementation loads by absolute wide path only (LoadLibraryExW), never
// through the system's search of the current folder or PATH; the POSIX twin
// uses dlopen so the binding is tested natively against real shared
// libraries. Paths are UTF-8 texts with backslashes as separators.
#pragma once

#include <string>

namespace kro {

class ModuleLoader {
public:
    using Module = void*;

    virtual ~ModuleLoader() = default;
    // Loads the library at an absolute path; null on failure, and for a
    // relative path, which would be looked up in folders others may write.
    // Libraries the loaded one imports are found beside it or in the
    // system folder.
    virtual Module Load(const std::string& path) = 0;
    virtual void* Symbol(Module module, const char* name) = 0;
    virtual void Free(Module module) = 0;
    // Full path of the running program; empty when it cannot be had.
    virtual std::string ExecutablePath() = 0;
    // The system's own library folder (System32; SysWOW64 as a 32-bit
    // process on 64-bit Windows sees it), where only administrators write;
    // empty where there is none to search.
    virtual std::string SystemFolder() { return {}; }
    // After a Load on the calling thread that gave no module: whether the
    // file was a library built for another architecture, which a process
    // of the other bitness could load. False when the system does not say.
    virtual bool LastLoadWasWrongArchitecture() { return false; }
};

// The platform's loader (one program-wide object).
ModuleLoader& SystemModuleLoader();

// Narrows the system's library search for the whole process to the system
// folder, so that no DLL lying in the current folder, on PATH or beside a
// downloaded program is ever loaded by name. Each program calls it first
// thing. False when the system could not narrow it (a Windows 7 without the
// update that brought the call): the current folder is then at least taken
// out of the search.
bool NarrowLibrarySearch();

// The running program's folder (without the last backslash), as the binding
// searches it; empty when the program's path cannot be had.
inline std::string ExecutableFolder(ModuleLoader& loader) {
    const std::string program = loader.ExecutablePath();
    const auto lastSeparator = program.rfind('\\');
    return lastSeparator == std::string::npos ? std::string() : program.substr(0, lastSeparator);
}

}  // namespace kro
