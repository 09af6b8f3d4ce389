#include <dirent.h>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "simulator/sim_platform.h"

namespace kro::sim {

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::string LibraryFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&LibraryFolder), &info) == 0 || info.dli_fname == nullptr) return {};
    std::string path = info.dli_fname;
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string DefaultExportFolder() {
    const std::string folder = LibraryFolder();
    return (folder.empty() ? std::string(".") : folder) + "/ZiduvOra";
}

bool IsPathSeparator(char c) {
    return c == '/';
}

char PreferredSeparator() {
    return '/';
}

bool IsDirectory(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::optional<std::vector<DirectoryEntry>> ListFiles(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return std::nullopt;
    std::vector<DirectoryEntry> files;
    const int dirFd = dirfd(dir);
    for (;;) {
        errno = 0;  // readdir's end and its failure differ only in errno
        const dirent* entry = readdir(dir);
        if (entry == nullptr) break;
        struct stat status {};
        if (fstatat(dirFd, entry->d_name, &status, 0) != 0 || !S_ISREG(status.st_mode)) continue;
        const std::int64_t modified =
            static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
        files.push_back({entry->d_name, static_cast<std::uint64_t>(status.st_size), modified});
    }
    // A listing that broke off (the card pulled in the middle) is no listing:
    // taken as whole it would stand for the card's contents.
    const bool whole = errno == 0;
    closedir(dir);
    if (!whole) return std::nullopt;
    return files;
}

bool CreateOneDirectory(const std::string& path) {
    return mkdir(path.c_str(), 0777) == 0 || IsDirectory(path);
}

bool MoveFileOver(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

void RemoveFile(const std::string& path) {
    std::remove(path.c_str());
}

std::uint32_t CurrentProcessId() {
    return static_cast<std::uint32_t>(getpid());
}

void RaiseAccessViolation() {
    *static_cast<volatile int*>(nullptr) = 1;
    std::abort();
}

}  // namespace kro::sim
