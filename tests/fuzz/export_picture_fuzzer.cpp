// The picture export of one recording: a name of any bytes and a device
// library whose picture call reports any length and writes any bytes. The
// file system only records what it is asked. Checks that a write happens
// only for a plain name, directly in the export folder, with exactly the
// picture's bytes, and that every refusal counts as not exported.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "export/export_request.h"
#include "export/export_worker.h"
#include "export/file_name_check.h"
#include "fake_kro_device.h"
#include "fuzz_check.h"

namespace {

// Remembers where it was asked to write and compares the bytes with the
// picture the library gave, instead of keeping up to a megabyte per run.
class RecordingFileSystem final : public kro::ExportFileSystem {
public:
    explicit RecordingFileSystem(const std::vector<std::uint8_t>& picture) : picture_(picture) {}

    bool FolderExists(const std::string&) override { return true; }
    bool CreateFolder(const std::string&) override { return true; }
    bool WriteFileReplacing(const std::string& folder, const std::string& path, const std::uint8_t* data,
                            std::size_t size) override {
        // The bytes the library wrote come back unchanged; the rest of the
        // reported length is the buffer's, whatever it held.
        const std::size_t given = std::min(picture_.size(), size);
        FUZZ_CHECK(given == 0 || std::memcmp(data, picture_.data(), given) == 0);
        writes.push_back({folder, path, size});
        return accept;
    }
    void RemoveStaleTemporaryFiles(const std::string&) override {}

    struct Write {
        std::string folder;
        std::string path;
        std::size_t size;
    };
    std::vector<Write> writes;
    bool accept = true;

private:
    const std::vector<std::uint8_t>& picture_;
};

class NoTrace final : public kro::TextSink {
public:
    void Write(std::string_view) override {}
};

kro::fake::FakeKroDevice& Device() {
    static kro::fake::FakeKroDevice device;
    return device;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string name = input.ConsumeRandomLengthString(48);
    const auto reported = input.ConsumeIntegral<std::int32_t>();
    const bool callSucceeds = input.ConsumeBool();
    const bool accept = input.ConsumeBool();
    const std::vector<std::uint8_t> picture = input.ConsumeRemainingBytes<std::uint8_t>();
    RecordingFileSystem fileSystem(picture);
    fileSystem.accept = accept;

    kro::fake::FakeKroDevice& device = Device();
    int pictureCalls = 0;
    device.makePictureFile = [&](const char* asked, std::int32_t* length, std::uint8_t* buffer) {
        ++pictureCalls;
        FUZZ_CHECK(asked == name);
        if (!picture.empty()) std::memcpy(buffer, picture.data(), picture.size());
        *length = reported;
        return callSucceeds ? 1 : 0;
    };

    kro::ExportJob job;
    job.library = &device.Library();
    job.outputFolder = "C:\\ZiduvOra\\";
    job.exportKind = kro::kPhotoExportKind;
    NoTrace trace;
    const bool exported = kro::ExportOne(job, name, fileSystem, trace);

    const bool plain = kro::IsPlainFileName(name);
    FUZZ_CHECK(pictureCalls == (plain ? 1 : 0));
    const bool lengthFits = reported > 0 && reported <= kPictureBufferSize;
    FUZZ_CHECK(fileSystem.writes.size() == (plain && lengthFits ? 1u : 0u));
    FUZZ_CHECK(exported == (plain && lengthFits && fileSystem.accept));
    if (!fileSystem.writes.empty()) {
        const auto& write = fileSystem.writes.front();
        FUZZ_CHECK(write.folder == job.outputFolder);
        FUZZ_CHECK(write.path == job.outputFolder + name);
        FUZZ_CHECK(write.size == static_cast<std::size_t>(reported));
    }
    return 0;
}
