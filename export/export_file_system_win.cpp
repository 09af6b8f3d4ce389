#include <windows.h>

#include "export/export_file_system.h"
#include "win32/owned_handle.h"

namespace kro {
namespace {

bool WriteWholeFile(const char* path, const std::uint8_t* data, std::size_t size, bool flush) {
    win32::FileHandle file(
        CreateFileA(path, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    while (size > 0) {
        const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(file.Get(), data, chunk, &written, nullptr) || written == 0) return false;
        data += written;
        size -= written;
    }
    if (flush && !FlushFileBuffers(file.Get())) return false;
    // A failed close counts as a failed write.
    return file.Close();
}

class WinExportFileSystem final : public ExportFileSystem {
public:
    bool FolderExists(const std::string& path) override {
        const DWORD attributes = GetFileAttributesA(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }

    bool CreateFolder(const std::string& path) override {
        return CreateDirectoryA(path.c_str(), nullptr) != 0;
    }

    bool WriteFileReplacing(const std::string& folder, const std::string& path, const std::uint8_t* data,
                            std::size_t size) override {
        // GetTempFileNameA creates an empty file with a name unique in the
        // folder, so the move stays on one volume and replaces atomically.
        char temporary[MAX_PATH] = {};
        if (GetTempFileNameA(folder.c_str(), "kro", 0, temporary) == 0) return false;
        // When an earlier picture is replaced, the bytes reach the disk
        // before the move, so a power loss right after cannot swap a good
        // file for a short one; a new picture is written as any copy is (its
        // recording stays on the card).
        const bool replacing = GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
        const bool ok = WriteWholeFile(temporary, data, size, replacing) &&
                        MoveFileExA(temporary, path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
        if (!ok) DeleteFileA(temporary);
        return ok;
    }
};

}  // namespace

ExportFileSystem& SystemExportFileSystem() {
    static WinExportFileSystem fileSystem;
    return fileSystem;
}

}  // namespace kro
