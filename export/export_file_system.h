// Seam: the file-system operations of the export worker. The Win32
// implementation uses GetFileAttributesA, CreateDirectoryA, CreateFileA,
// WriteFile, SetFileInformationByHandle and FindFirstFileA/DeleteFileA; the
// POSIX twin serves the native tests. Paths are ANSI bytes, passed through
// unchanged.
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
    // Writes the bytes to a new temporary file inside `folder` (named by
    // temporary_file_name.h) and moves it over `path` only when the whole
    // write succeeded, replacing an earlier file. False, with nothing
    // written, when `folder` is not an existing folder. On failure `path` is
    // as it was and no temporary file remains. An earlier file is replaced
    // only by bytes already flushed to the disk.
    virtual bool WriteFileReplacing(const std::string& folder, const std::string& path,
                                    const std::uint8_t* data, std::size_t size) = 0;
    // Removes from `folder` the program's temporary files that processes
    // which ended between the write and the move left behind. No other file
    // is touched, nor a temporary that a running process may still be
    // writing: on Windows its writer holds it open without delete sharing,
    // so its delete fails and it stays; on POSIX, where an open file can be
    // removed, one named after a running process stays.
    virtual void RemoveStaleTemporaryFiles(const std::string& folder) = 0;
};

// The platform's file system (one program-wide object).
ExportFileSystem& SystemExportFileSystem();

}  // namespace kro
