#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <vector>

#include "export/export_file_system.h"
#include "export/temporary_file_name.h"

namespace kro {
namespace {

// A taken name (a stale file of an earlier process of the same ID) moves on
// to the next counter; this many taken names in a row is no coincidence.
constexpr int kCreateAttempts = 16;

std::string InFolder(const std::string& folder, std::string_view name) {
    std::string path = folder;
    if (!path.empty() && path.back() != '/') path += '/';
    return path.append(name);
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool ProcessRuns(std::uint32_t process) {
    if (process == 0 || process > static_cast<std::uint32_t>(INT_MAX)) return false;
    return kill(static_cast<pid_t>(process), 0) == 0 || errno == EPERM;
}

class PosixExportFileSystem final : public ExportFileSystem {
public:
    bool FolderExists(const std::string& path) override {
        struct stat status {};
        return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
    }

    bool CreateFolder(const std::string& path) override { return mkdir(path.c_str(), 0777) == 0; }

    bool WriteFileReplacing(const std::string& folder, const std::string& path, const std::uint8_t* data,
                            std::size_t size) override {
        // The temporary file goes inside the folder, as on Windows, so the
        // rename stays on one file system and replaces atomically.
        if (!FolderExists(folder)) return false;
        std::string temporary;
        int fd = -1;
        for (int attempt = 0; attempt < kCreateAttempts && fd < 0; ++attempt) {
            temporary = InFolder(
                folder, TemporaryFileName(static_cast<std::uint32_t>(getpid()), NextTemporaryFileCounter()));
            fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0 && errno != EEXIST) return false;
        }
        if (fd < 0) return false;
        // When an earlier picture is replaced, the bytes reach the disk
        // before the rename, so a power loss right after cannot swap a good
        // file for a short one; a new picture is written as any copy is (its
        // recording stays on the card).
        struct stat earlier {};
        const bool replacing = stat(path.c_str(), &earlier) == 0;
        bool ok = WriteAll(fd, data, size) && (!replacing || fsync(fd) == 0);
        ok = close(fd) == 0 && ok;
        ok = ok && std::rename(temporary.c_str(), path.c_str()) == 0;
        if (!ok) unlink(temporary.c_str());
        return ok;
    }

    void RemoveStaleTemporaryFiles(const std::string& folder) override {
        std::vector<std::string> stale;
        DIR* directory = opendir(folder.c_str());
        if (directory == nullptr) return;
        while (const dirent* entry = readdir(directory)) {
            const std::optional<std::uint32_t> process = TemporaryFileProcess(entry->d_name);
            if (process && !ProcessRuns(*process)) stale.emplace_back(entry->d_name);
        }
        closedir(directory);
        for (const std::string& name : stale) {
            const std::string path = InFolder(folder, name);
            struct stat status {};
            if (lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode)) unlink(path.c_str());
        }
    }
};

}  // namespace

ExportFileSystem& SystemExportFileSystem() {
    static PosixExportFileSystem fileSystem;
    return fileSystem;
}

}  // namespace kro
