#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "export/export_file_system.h"

namespace kro {
namespace {

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
        std::string temporary = folder;
        if (temporary.back() != '/') temporary += '/';
        temporary += ".kro-XXXXXX";
        const int fd = mkstemp(temporary.data());
        if (fd < 0) return false;
        // mkstemp creates the file readable by its owner only; a picture is
        // an ordinary file. When an earlier picture is replaced, the bytes
        // reach the disk before the rename, so a power loss right after
        // cannot swap a good file for a short one; a new picture is written
        // as any copy is (its recording stays on the card).
        struct stat earlier {};
        const bool replacing = stat(path.c_str(), &earlier) == 0;
        bool ok = fchmod(fd, 0644) == 0 && WriteAll(fd, data, size) && (!replacing || fsync(fd) == 0);
        ok = close(fd) == 0 && ok;
        ok = ok && std::rename(temporary.c_str(), path.c_str()) == 0;
        if (!ok) unlink(temporary.c_str());
        return ok;
    }
};

}  // namespace

ExportFileSystem& SystemExportFileSystem() {
    static PosixExportFileSystem fileSystem;
    return fileSystem;
}

}  // namespace kro
