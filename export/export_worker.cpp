#include "export/export_worker.h"

#include <chrono>
#include <cstddef>
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

bool StopRequested(const ExportJob& job) {
    return job.stop != nullptr && job.stop->load();
}

// What the binding says of the calling thread's last call, when it had no
// answer from the library; Exported when it had one (whatever it was).
RecordingResult LastCallFault(const ExportJob& job) {
    switch (KroLibrary::LastCallFailure()) {
        case CallFailure::HostCrashed:
            // A stop ends the host under a call that was not answering.
            return StopRequested(job) ? RecordingResult::LibraryNotAnswering
                                      : RecordingResult::LibraryCrashed;
        case CallFailure::HostHung:
            return RecordingResult::LibraryNotAnswering;
        case CallFailure::HostUnavailable:
            return RecordingResult::LibraryUnavailable;
        default:
            return RecordingResult::Exported;
    }
}

RecordingResult ExportPicture(const ExportJob& job, const std::string& name, ExportFileSystem& fileSystem,
                              TextSink& trace) {
    const std::string path = job.outputFolder + name;
    if (path.size() > kMaxExportPathLength) return RecordingResult::Failed;
    const std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow)
                                                     std::uint8_t[kPictureBufferSize + kPictureGuardSize]);
    if (!buffer) return RecordingResult::Failed;
    std::uint8_t* const guard = buffer.get() + kPictureBufferSize;
    FillGuard(guard);

    std::int32_t length = 0;
    // A hosted library writes into its host's buffer, which the host guards
    // the same way.
    bool overran = false;
    RecordingResult fault = RecordingResult::Exported;
    if (job.library != nullptr) {
        job.library->MakePictureFile(name.c_str(), &length, buffer.get());
        overran = KroLibrary::LastCallFailure() == CallFailure::WrotePastBuffer;
        fault = LastCallFault(job);
    }
    trace.Write(name + " \n");
    if (overran || !GuardIntact(guard)) {
        trace.Write("the device library wrote past the picture buffer: " + name + " \n");
        return RecordingResult::Failed;
    }
    // An empty picture is no picture, and a length beyond the buffer would
    // read past it. A call without an answer left nothing to write.
    const bool written =
        fault == RecordingResult::Exported && length > 0 && length <= kPictureBufferSize &&
        fileSystem.WriteFileReplacing(job.outputFolder, path, buffer.get(), static_cast<std::size_t>(length));
    trace.Write(path + " \n");
    if (fault != RecordingResult::Exported) return fault;
    return written ? RecordingResult::Exported : RecordingResult::Failed;
}

// An AVI or backup file, which the library makes and places itself.
RecordingResult ExportConversion(const ExportJob& job, const std::string& name) {
    const KroExport which = job.backup ? KroExport::MakeKroFile : KroExport::MakeAviFile;
    if (!CanCall(job.library, which)) return RecordingResult::Failed;
    const std::int32_t made =
        job.backup ? job.library->MakeKroFile(name.c_str()) : job.library->MakeAviFile(name.c_str());
    const RecordingResult fault = LastCallFault(job);
    if (fault != RecordingResult::Exported) return fault;
    return made != 0 || !job.checkLibraryResult ? RecordingResult::Exported : RecordingResult::Failed;
}

bool IsLibraryFault(RecordingResult result) {
    return result == RecordingResult::LibraryCrashed || result == RecordingResult::LibraryNotAnswering;
}

}  // namespace

ExportStop LibraryFaultRule::After(RecordingResult result) {
    if (result == RecordingResult::LibraryUnavailable) return ExportStop::LibraryUnavailable;
    inARow_ = IsLibraryFault(result) ? inARow_ + 1 : 0;
    return inARow_ >= kLibraryFaultsInARow ? ExportStop::RepeatedLibraryFaults : ExportStop::None;
}

RecordingResult ExportRecording(const ExportJob& job, const std::string& name, ExportFileSystem& fileSystem,
                                TextSink& trace) {
    trace.Write(std::to_string(job.exportKind) + " \n");
    // The library names its AVI and backup files after the recording too, so
    // a name that could reach outside the folder is refused for every kind.
    if (!IsPlainFileName(name)) return RecordingResult::Failed;
    if (job.exportKind == kPhotoExportKind) return ExportPicture(job, name, fileSystem, trace);
    return ExportConversion(job, name);
}

bool ExportOne(const ExportJob& job, const std::string& name, ExportFileSystem& fileSystem, TextSink& trace) {
    return ExportRecording(job, name, fileSystem, trace) == RecordingResult::Exported;
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
    LibraryFaultRule faults;
    // The first name the walk leaves unexported once it stops.
    std::size_t rest = job.selection.size();
    for (std::int32_t i = 0; i < count; ++i) {
        const auto index = static_cast<std::size_t>(i);
        if (StopRequested(job)) {
            summary.stop = ExportStop::ByUser;
            rest = index;
            break;
        }
        const std::string name = job.selection[index];
        progress.SetPosition(ExportBar::Files, i);
        progress.SetPosition(ExportBar::Step, (i + 1) % 3);
        // Without the folder no picture can be written; the library places
        // its AVI and backup files itself and is asked all the same.
        const bool writable = summary.folderReady || job.exportKind != kPhotoExportKind;
        const RecordingResult result =
            writable ? ExportRecording(job, name, fileSystem, trace) : RecordingResult::Failed;
        const ExportStop stop = faults.After(result);
        if (stop == ExportStop::LibraryUnavailable) {
            // Nothing was asked of the library for this one either.
            summary.stop = stop;
            rest = index;
            break;
        }
        if (result != RecordingResult::Exported) {
            if (IsLibraryFault(result)) summary.libraryFaults[summary.failed.size()] = result;
            summary.failed.push_back(name);
            // The recording in progress when the stop came is its last.
            if (StopRequested(job)) summary.stop = ExportStop::ByUser;
        }
        // Giving up on the last recording leaves nothing unexported; the
        // user's stop says more than the rule's.
        if (stop != ExportStop::None && i < count - 1 && summary.stop == ExportStop::None)
            summary.stop = stop;
        if (summary.stop != ExportStop::None) {
            rest = index + 1;
            break;
        }
        if (i == count - 1) {
            progress.SetPosition(ExportBar::Files, count);
            progress.SetPosition(ExportBar::Step, 3);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    summary.notExported.assign(job.selection.begin() + static_cast<std::ptrdiff_t>(rest),
                               job.selection.end());
    return summary;
}

}  // namespace kro
