#include <windows.h>

#include <cstddef>
#include <vector>

#include "export/export_file_system.h"
#include "export/temporary_file_name.h"
#include "win32/owned_handle.h"

namespace kro {
namespace {

// A taken name (a stale file of an earlier process of the same ID) moves on
// to the next counter; this many taken names in a row is no coincidence.
constexpr int kCreateAttempts = 16;

std::string InFolder(const std::string& folder, std::string_view name) {
    std::string path = folder;
    if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
    return path.append(name);
}

bool WriteAll(HANDLE file, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(file, data, chunk, &written, nullptr) || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

// Moves the open file over `path` through its own handle, so that it is
// never closed under its temporary name: the moment between a close and a
// move is the one in which another process clearing stale temporaries could
// delete it. The system takes the ANSI name as the A functions do.
bool MoveOpenFile(HANDLE file, const std::string& path) {
    const int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    if (length <= 1) return false;
    std::vector<std::byte> buffer(offsetof(FILE_RENAME_INFO, FileName) +
                                  static_cast<std::size_t>(length) * sizeof(WCHAR));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(length - 1) * sizeof(WCHAR);
    if (MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, info->FileName, length) != length) return false;
    return SetFileInformationByHandle(file, FileRenameInfo, info, static_cast<DWORD>(buffer.size())) != 0;
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
        if (!FolderExists(folder)) return false;
        // The temporary file shares the folder of the picture, so the move
        // stays on one volume and replaces atomically. It is opened with no
        // sharing at all: nobody deletes it while it is written.
        std::string temporary;
        win32::FileHandle file;
        for (int attempt = 0; attempt < kCreateAttempts && !file; ++attempt) {
            temporary =
                InFolder(folder, TemporaryFileName(GetCurrentProcessId(), NextTemporaryFileCounter()));
            file.Reset(CreateFileA(temporary.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!file && GetLastError() != ERROR_FILE_EXISTS) return false;
        }
        if (!file) return false;
        // When an earlier picture is replaced, the bytes reach the disk
        // before the move, so a power loss right after cannot swap a good
        // file for a short one; a new picture is written as any copy is (its
        // recording stays on the card).
        const bool replacing = GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
        const bool moved = WriteAll(file.Get(), data, size) && (!replacing || FlushFileBuffers(file.Get())) &&
                           MoveOpenFile(file.Get(), path);
        // A failed close counts as a failed write.
        const bool closed = file.Close();
        if (!moved) DeleteFileA(temporary.c_str());
        return moved && closed;
    }

    void RemoveStaleTemporaryFiles(const std::string& folder) override {
        std::vector<std::string> stale;
        WIN32_FIND_DATAA found = {};
        const std::string pattern = InFolder(folder, std::string(kTemporaryFilePrefix) + "*");
        HANDLE search = FindFirstFileA(pattern.c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return;
        do {
            // The pattern also matches short 8.3 names and any letter case;
            // only the program's exact long names count.
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
                TemporaryFileProcess(found.cFileName))
                stale.emplace_back(found.cFileName);
        } while (FindNextFileA(search, &found));
        FindClose(search);
        // A temporary that another process is writing is open without delete
        // sharing: its delete fails, and it is left to its writer.
        for (const std::string& name : stale) DeleteFileA(InFolder(folder, name).c_str());
    }
};

}  // namespace

ExportFileSystem& SystemExportFileSystem() {
    static WinExportFileSystem fileSystem;
    return fileSystem;
}

}  // namespace kro
