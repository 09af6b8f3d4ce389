#include <windows.h>

#include "simulator/sim_platform.h"

namespace kro::sim {

// GetEnvironmentVariableA rather than getenv: it sees the process environment
// however it was changed, not the C runtime's copy of it.
std::string EnvironmentValue(const char* name) {
    char small[512];
    DWORD length = GetEnvironmentVariableA(name, small, sizeof small);
    if (length == 0) return {};
    if (length < sizeof small) return std::string(small, length);
    std::string value(length, '\0');
    length = GetEnvironmentVariableA(name, value.data(), length);
    value.resize(length);
    return value;
}

std::string LibraryFolder() {
    HMODULE self = nullptr;
    const DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    if (!GetModuleHandleExA(flags, reinterpret_cast<LPCSTR>(&LibraryFolder), &self)) return {};
    char path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    std::string folder(path, length);
    const auto separator = folder.find_last_of("\\/");
    return separator == std::string::npos ? std::string(".") : folder.substr(0, separator);
}

std::string DefaultExportFolder() {
    return "C:\\ZiduvOra\\";
}

bool IsPathSeparator(char c) {
    return c == '\\' || c == '/';
}

char PreferredSeparator() {
    return '\\';
}

bool IsDirectory(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::optional<std::vector<DirectoryEntry>> ListFiles(const std::string& folder) {
    WIN32_FIND_DATAA data{};
    const std::string pattern = folder + "\\*";
    HANDLE find = FindFirstFileA(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_FILE_NOT_FOUND && IsDirectory(folder))
            return std::vector<DirectoryEntry>{};
        return std::nullopt;
    }
    std::vector<DirectoryEntry> files;
    do {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
        const std::uint64_t size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
        const std::int64_t modified = static_cast<std::int64_t>(
            (std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime);
        files.push_back({data.cFileName, size, modified});
    } while (FindNextFileA(find, &data));
    // A listing that broke off (the card pulled in the middle) is no listing:
    // taken as whole it would stand for the card's contents.
    const bool whole = GetLastError() == ERROR_NO_MORE_FILES;
    FindClose(find);
    if (!whole) return std::nullopt;
    return files;
}

bool CreateOneDirectory(const std::string& path) {
    return CreateDirectoryA(path.c_str(), nullptr) || IsDirectory(path);
}

// Replacing a file that another thread is replacing at that moment (or that
// a virus scanner briefly holds) fails with a sharing error; such errors pass
// within milliseconds, so the move is tried again for a while.
bool MoveFileOver(const std::string& from, const std::string& to) {
    constexpr int kAttempts = 100;
    for (int attempt = 1;; ++attempt) {
        if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
        const DWORD error = GetLastError();
        const bool passing =
            error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
        if (!passing || attempt == kAttempts) return false;
        Sleep(10);
    }
}

void RemoveFile(const std::string& path) {
    DeleteFileA(path.c_str());
}

std::uint32_t CurrentProcessId() {
    return GetCurrentProcessId();
}

// Raised, not provoked: under emulation (32-bit Wine on qemu) the page at
// address 0 is at times mapped, and a write there would not fault.
void RaiseAccessViolation() {
    RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    TerminateProcess(GetCurrentProcess(), EXCEPTION_ACCESS_VIOLATION);
    for (;;) {
    }
}

}  // namespace kro::sim
