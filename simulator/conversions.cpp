#include "simulator/conversions.h"

#include <cstdio>
#include <memory>

#include "simulator/atomic_file.h"
#include "simulator/container_file.h"
#include "simulator/names.h"
#include "simulator/sim_platform.h"

namespace kro::sim {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// The open recording, checked to be the size its header promises (it may
// have been replaced since the card was read).
File OpenRecording(const Recording& recording) {
    File file(std::fopen(recording.path.c_str(), "rb"));
    if (!file) return nullptr;
    std::uint8_t bytes[kContainerHeaderSize];
    if (std::fread(bytes, 1, sizeof bytes, file.get()) != sizeof bytes) return nullptr;
    const auto header = DecodeHeader(bytes);
    if (!header || EncodeHeader(*header) != EncodeHeader(recording.header)) return nullptr;
    return file;
}

// The output path in the export folder, the folder created when missing.
std::optional<std::string> OutputPath(std::string_view listedName, std::string_view extension) {
    const std::string folder = ExportFolder();
    if (!MakeDirectories(folder)) return std::nullopt;
    return JoinPath(folder, SafeFileName(listedName) + std::string(extension));
}

bool CopyBytes(std::FILE* from, std::uint64_t count, std::FILE* to) {
    std::vector<char> buffer(64 * 1024);
    if (std::fseek(from, 0, SEEK_SET) != 0) return false;
    while (count > 0) {
        const std::size_t chunk = count < buffer.size() ? static_cast<std::size_t>(count) : buffer.size();
        if (std::fread(buffer.data(), 1, chunk, from) != chunk) return false;
        if (std::fwrite(buffer.data(), 1, chunk, to) != chunk) return false;
        count -= chunk;
    }
    // The copy is exact only if the file ends where its header says.
    return std::fgetc(from) == EOF && std::feof(from);
}

}  // namespace

std::string ExportFolder() {
    std::string folder = EnvironmentValue(kExportFolderVariable);
    return folder.empty() ? DefaultExportFolder() : folder;
}

bool MakeDirectories(const std::string& path) {
    if (path.empty()) return false;
    if (IsDirectory(path)) return true;
    for (std::size_t i = 1; i < path.size(); ++i) {
        // Levels that cannot be created (a drive root, a share) are left to
        // the check of the whole path at the end.
        if (!IsPathSeparator(path[i]) || IsPathSeparator(path[i - 1]) || path[i - 1] == ':') continue;
        const std::string level = path.substr(0, i);
        if (!IsDirectory(level)) CreateOneDirectory(level);
    }
    if (!IsPathSeparator(path.back())) CreateOneDirectory(path);
    return IsDirectory(path);
}

bool ConvertToAvi(const Recording& recording, std::string_view listedName, bool fail) {
    const File source = OpenRecording(recording);
    if (!source) return false;
    const auto frames = IndexStream(source.get(), recording.header, Stream::Front);
    if (!frames || frames->empty()) return false;
    const auto path = OutputPath(listedName, ".avi");
    if (!path) return false;
    AtomicFile out(*path);
    if (out.Stream() == nullptr) return false;
    const AviVideo video{recording.header.frontWidth, recording.header.frontHeight,
                         recording.header.framesPerSecond, *frames};
    if (!WriteAvi(video, source.get(), out.Stream())) return false;
    return !fail && out.Commit();
}

bool BackUp(const Recording& recording, std::string_view listedName, bool fail) {
    const File source = OpenRecording(recording);
    if (!source) return false;
    const auto path = OutputPath(listedName, ".kro");
    if (!path) return false;
    AtomicFile out(*path);
    if (out.Stream() == nullptr) return false;
    if (!CopyBytes(source.get(), recording.header.StoredFileSize(), out.Stream())) return false;
    return !fail && out.Commit();
}

std::optional<std::vector<std::uint8_t>> ReadPicture(const Recording& recording, std::uint32_t limit) {
    const File source = OpenRecording(recording);
    if (!source) return std::nullopt;
    return ReadFirstFrame(source.get(), recording.header, limit);
}

}  // namespace kro::sim
