// Seam: the file-system operations of the export worker. The Win32
// implementation uses GetFileAttributesA, CreateDirectoryA, GetTempFileNameA,
// CreateFileA/WriteFile and MoveFileExA; the POSIX twin serves the native
// tests. Paths are ANSI bytes, passed through unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kro {

class ExportFileSystem {
public:
    virtual ~ExportFileSystem() = default;
    // True only for an existing folder; a plain file of that name is none.
    virtual bool FolderExists(const std::string& path) = 0;
    // Creates the last level of the path; false when that fails.
    virtual bool CreateFolder(const std::string& path) = 0;
    // Writes the bytes to a new temporary file inside `folder` and moves it
    // over `path` only when the whole write succeeded, replacing an earlier
    // file. False, with nothing written, when `folder` is not an existing
    // folder. On failure `path` is as it was and no temporary file remains.
    // An earlier file is replaced only by bytes already flushed to the disk.
    virtual bool WriteFileReplacing(const std::string& folder, const std::string& path,
                                    const std::uint8_t* data, std::size_t size) = 0;
};

// The platform's file system (one program-wide object).
ExportFileSystem& SystemExportFileSystem();

}  // namespace kro
