#include "device/module_loader.h"

#include <windows.h>

#include "device/text_sink.h"

namespace kro {
namespace {

thread_local bool lastLoadWrongArchitecture = false;

// Longest path the wide calls take (with the \\?\ form's reach).
constexpr DWORD kMostPathChars = 32768;

// Set once at start: whether the LOAD_LIBRARY_SEARCH_* flags may be used,
// and the call that adds a folder to the narrowed search. Both come with one
// update of Windows 7, so they are looked up rather than imported.
bool searchNarrowed = false;
using AddDllDirectoryFn = DLL_DIRECTORY_COOKIE(WINAPI*)(PCWSTR);
AddDllDirectoryFn addDllDirectory = nullptr;

template <typename Fn>
Fn Kernel32Entry(const char* name) {
    return reinterpret_cast<Fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name)));
}

std::wstring Wide(const std::string& text) {
    if (text.empty()) return {};
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                           static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                        wide.data(), length);
    return wide;
}

std::string Utf8(const wchar_t* text, std::size_t length) {
    if (length == 0) return {};
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string narrow(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), narrow.data(), size, nullptr, nullptr);
    return narrow;
}

// A drive's root ("C:\...") or a share ("\\server\..."): never a name the
// system would look up along its search order.
bool IsAbsolute(const std::wstring& path) {
    const bool drive = path.size() >= 3 && path[1] == L':' && path[2] == L'\\';
    const bool share = path.size() >= 3 && path[0] == L'\\' && path[1] == L'\\';
    return drive || share;
}

class Win32ModuleLoader final : public ModuleLoader {
public:
    // The binding tries up to three places in turn; each failure says why
    // (not found, wrong architecture, a missing dependency, ...).
    Module Load(const std::string& path) override {
        lastLoadWrongArchitecture = false;
        const std::wstring wide = Wide(path);
        if (!IsAbsolute(wide)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            ReportLastError("LoadLibraryExW (not an absolute path) " + path);
            return nullptr;
        }
        // The library's own imports are found beside it, then in the system
        // folder; without the narrowed search (an old Windows 7) the folder
        // of the library still comes first.
        const DWORD flags = searchNarrowed ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32 |
                                                 LOAD_LIBRARY_SEARCH_USER_DIRS
                                           : LOAD_WITH_ALTERED_SEARCH_PATH;
        HMODULE module = LoadLibraryExW(wide.c_str(), nullptr, flags);
        if (module == nullptr) {
            // The system's answer for a DLL of the other bitness (and for a
            // file that is no DLL at all, which no process could load).
            lastLoadWrongArchitecture = GetLastError() == ERROR_BAD_EXE_FORMAT;
            ReportLastError("LoadLibraryExW " + path);
            return nullptr;
        }
        // What the library loads by name later on, while it runs, is looked
        // for in its own folder too, as it would be without the narrowing.
        if (searchNarrowed) {
            const std::wstring folder = wide.substr(0, wide.find_last_of(L'\\'));
            if (addDllDirectory(folder.c_str()) == nullptr) ReportLastError("AddDllDirectory " + path);
        }
        return module;
    }

    bool LastLoadWasWrongArchitecture() override { return lastLoadWrongArchitecture; }

    void* Symbol(Module module, const char* name) override {
        return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
    }

    void Free(Module module) override { FreeLibrary(static_cast<HMODULE>(module)); }

    // Read wide, so that a folder named outside the ANSI code page works.
    std::string ExecutablePath() override {
        std::wstring path(kMostPathChars, L'\0');
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), kMostPathChars);
        if (length == 0 || length >= kMostPathChars) {
            if (length == 0) ReportLastError("GetModuleFileNameW");
            return {};
        }
        return Utf8(path.data(), length);
    }

    std::string SystemFolder() override {
        wchar_t path[MAX_PATH] = {};
        const UINT length = GetSystemDirectoryW(path, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return {};
        return Utf8(path, length);
    }
};

}  // namespace

ModuleLoader& SystemModuleLoader() {
    static Win32ModuleLoader loader;
    return loader;
}

bool NarrowLibrarySearch() {
    const auto setDefault = Kernel32Entry<BOOL(WINAPI*)(DWORD)>("SetDefaultDllDirectories");
    addDllDirectory = Kernel32Entry<AddDllDirectoryFn>("AddDllDirectory");
    searchNarrowed = setDefault != nullptr && addDllDirectory != nullptr &&
                     setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_USER_DIRS);
    if (!searchNarrowed) SetDllDirectoryW(L"");
    return searchNarrowed;
}

}  // namespace kro
