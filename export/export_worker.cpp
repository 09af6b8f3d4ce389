#include "export/export_worker.h"

#include <chrono>
#include <memory>
#include <new>
#include <thread>

#include "export/export_request.h"
#include "export/file_name_check.h"

namespace kro {
namespace {

bool CanCall(const KroLibrary* library, KroExport which) {
    return library != nullptr && library->IsLoaded() && library->Instance() != 0 && library->HasEntry(which);
}

// The library is not told how big the picture buffer is. A guard region
// with a known pattern follows it; a changed guard means the library wrote
// past the buffer, and then nothing in it is trusted.
constexpr std::size_t kPictureGuardSize = 64 * 1024;

std::uint8_t GuardByte(std::size_t offset) {
    return static_cast<std::uint8_t>(0xA5 ^ (offset * 31));
}

void FillGuard(std::uint8_t* guard) {
    for (std::size_t i = 0; i < kPictureGuardSize; ++i) guard[i] = GuardByte(i);
}

bool GuardIntact(const std::uint8_t* guard) {
    for (std::size_t i = 0; i < kPictureGuardSize; ++i) {
        if (guard[i] != GuardByte(i)) return false;
    }
    return true;
}

bool ExportPicture(const ExportJob& job, const std::string& name, ExportFileSystem& fileSystem,
                   TextSink& trace) {
    const std::string path = job.outputFolder + name;
    if (path.size() > kMaxExportPathLength) return false;
    const std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow)
                                                     std::uint8_t[kPictureBufferSize + kPictureGuardSize]);
    if (!buffer) return false;
    std::uint8_t* const guard = buffer.get() + kPictureBufferSize;
    FillGuard(guard);

    std::int32_t length = 0;
    if (job.library != nullptr) job.library->MakePictureFile(name.c_str(), &length, buffer.get());
    trace.Write(name + " \n");
    if (!GuardIntact(guard)) {
        trace.Write("the device library wrote past the picture buffer: " + name + " \n");
        return false;
    }
    // An empty picture is no picture, and a length beyond the buffer would
    // read past it.
    const bool written =
        length > 0 && length <= kPictureBufferSize &&
        fileSystem.WriteFileReplacing(job.outputFolder, path, buffer.get(), static_cast<std::size_t>(length));
    trace.Write(path + " \n");
    return written;
}

}  // namespace

bool ExportOne(const ExportJob& job, const std::string& name, ExportFileSystem& fileSystem,
               TextSink& trace) {
    trace.Write(std::to_string(job.exportKind) + " \n");
    // The library names its AVI and backup files after the recording too, so
    // a name that could reach outside the folder is refused for every kind.
    if (!IsPlainFileName(name)) return false;
    if (job.exportKind == kPhotoExportKind) return ExportPicture(job, name, fileSystem, trace);
    if (job.backup) {
        if (!CanCall(job.library, KroExport::MakeKroFile)) return false;
        const std::int32_t made = job.library->MakeKroFile(name.c_str());
        return made != 0 || !job.checkLibraryResult;
    }
    if (!CanCall(job.library, KroExport::MakeAviFile)) return false;
    const std::int32_t made = job.library->MakeAviFile(name.c_str());
    return made != 0 || !job.checkLibraryResult;
}

bool PrepareExportFolder(const std::string& folder, ExportFileSystem& fileSystem) {
    if (!fileSystem.FolderExists(folder)) {
        fileSystem.CreateFolder(folder);
        if (!fileSystem.FolderExists(folder)) return false;
    }
    fileSystem.RemoveStaleTemporaryFiles(folder);
    return true;
}

ExportSummary RunExport(const ExportJob& job, ExportFileSystem& fileSystem, ExportProgress& progress,
                        TextSink& trace) {
    ExportSummary summary;
    summary.folderReady = PrepareExportFolder(job.outputFolder, fileSystem);

    const auto count = static_cast<std::int32_t>(job.selection.size());
    summary.total = count;
    if (count == 0) return summary;

    progress.SetRange(ExportBar::Files, count);
    progress.SetRange(ExportBar::Step, 3);
    for (std::int32_t i = 0; i < count; ++i) {
        const std::string name = job.selection[static_cast<std::size_t>(i)];
        progress.SetPosition(ExportBar::Files, i);
        progress.SetPosition(ExportBar::Step, (i + 1) % 3);
        // Without the folder no picture can be written; the library places
        // its AVI and backup files itself and is asked all the same.
        const bool writable = summary.folderReady || job.exportKind != kPhotoExportKind;
        if (!writable || !ExportOne(job, name, fileSystem, trace)) summary.failed.push_back(name);
        if (i == count - 1) {
            progress.SetPosition(ExportBar::Files, count);
            progress.SetPosition(ExportBar::Step, 3);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return summary;
}

}  // namespace kro
