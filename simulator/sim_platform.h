// Seam: the few operating-system services the simulator needs (environment,
// its own file's folder, directory listing, directory creation, atomic
// replacement). Paths are byte strings in the system's ANSI code page on
// Windows and plain byte strings elsewhere. File contents are read and
// written with the C runtime's fopen, which takes the same strings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kro::sim {

struct DirectoryEntry {
    std::string name;
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // platform ticks; only compared for equality

    bool operator==(const DirectoryEntry&) const = default;
};

// Value of an environment variable; empty when unset.
std::string EnvironmentValue(const char* name);
// Folder that holds the simulator library file, without a trailing
// separator; empty when it cannot be had.
std::string LibraryFolder();
// Where conversions go when no folder is configured: "C:\ZiduvOra\" on
// Windows, the folder "ZiduvOra" beside the library elsewhere.
std::string DefaultExportFolder();
// True for the platform's separators ('/' and, on Windows, '\').
bool IsPathSeparator(char c);
// The separator used when composing paths.
char PreferredSeparator();
bool IsDirectory(const std::string& path);
// The regular files directly inside a folder; empty when it cannot be read.
std::optional<std::vector<DirectoryEntry>> ListFiles(const std::string& folder);
// Creates one directory level; true when it exists afterwards.
bool CreateOneDirectory(const std::string& path);
// Moves a file over another atomically, replacing an existing target.
bool MoveFileOver(const std::string& from, const std::string& to);
void RemoveFile(const std::string& path);
std::uint32_t CurrentProcessId();
// Ends the process as a closed parser's write through a bad pointer does:
// with an access violation (natively SIGSEGV).
[[noreturn]] void RaiseAccessViolation();

}  // namespace kro::sim
