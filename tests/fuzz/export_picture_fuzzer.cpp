// The picture export of one recording: a name of any bytes and a device
// library whose picture call reports any length and writes any bytes at any
// place of the buffer, past its end too (into the guard region behind it).
// The file system only records what it is asked. Checks that a write happens
// only for a plain name, directly in the export folder, with exactly the
// bytes the library wrote, that a write past the buffer is never trusted,
// and that every refusal counts as not exported.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
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

// How far past the 1 MiB buffer the library may write here: what a caller's
// guard region must be able to hold (the simulator's overrun goes as far).
constexpr std::size_t kMostOverrun = 4096;

// What the library writes: `count` bytes from `start` on, the pattern over
// and over (zeros when it is empty).
struct LibraryWrite {
    std::size_t start = 0;
    std::size_t count = 0;
    std::vector<std::uint8_t> pattern;

    std::uint8_t At(std::size_t offset) const {
        return pattern.empty() ? 0 : pattern[(offset - start) % pattern.size()];
    }
};

// Remembers where it was asked to write and compares the bytes with what the
// library wrote, instead of keeping up to a megabyte per run.
class RecordingFileSystem final : public kro::ExportFileSystem {
public:
    explicit RecordingFileSystem(const LibraryWrite& written) : written_(written) {}

    bool FolderExists(const std::string&) override { return true; }
    bool CreateFolder(const std::string&) override { return true; }
    bool WriteFileReplacing(const std::string& folder, const std::string& path, const std::uint8_t* data,
                            std::size_t size) override {
        // The bytes the library wrote come back unchanged; the rest of the
        // reported length is the buffer's, whatever it held.
        const std::size_t end = std::min(size, written_.start + written_.count);
        for (std::size_t i = written_.start; i < end; ++i) FUZZ_CHECK(data[i] == written_.At(i));
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
    const LibraryWrite& written_;
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
    constexpr std::size_t kWritable = kPictureBufferSize + kMostOverrun;
    LibraryWrite written;
    // Short writes anywhere keep the runs fast; one that starts near the end
    // reaches past it.
    constexpr std::size_t kLongestWrite = 64 * 1024;
    written.start = input.ConsumeIntegralInRange<std::size_t>(0, kWritable);
    written.count = input.ConsumeIntegralInRange<std::size_t>(0, std::min(kLongestWrite, kWritable - written.start));
    written.pattern = input.ConsumeRemainingBytes<std::uint8_t>();
    RecordingFileSystem fileSystem(written);
    fileSystem.accept = accept;

    kro::fake::FakeKroDevice& device = Device();
    int pictureCalls = 0;
    bool changedPastTheBuffer = false;
    device.makePictureFile = [&](const char* asked, std::int32_t* length, std::uint8_t* buffer) {
        ++pictureCalls;
        FUZZ_CHECK(asked == name);
        // What lies behind the buffer before the write, whatever the caller
        // keeps there: a write that leaves it as it was cannot be told.
        std::array<std::uint8_t, kMostOverrun> behind{};
        std::memcpy(behind.data(), buffer + kPictureBufferSize, kMostOverrun);
        for (std::size_t i = written.start; i < written.start + written.count; ++i) buffer[i] = written.At(i);
        changedPastTheBuffer = std::memcmp(behind.data(), buffer + kPictureBufferSize, kMostOverrun) != 0;
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
    // Nothing in a buffer the library wrote past is trusted.
    const bool lengthFits = reported > 0 && reported <= kPictureBufferSize && !changedPastTheBuffer;
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
