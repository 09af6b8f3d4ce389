// Export throughput: 100 demo recordings exported as AVI through the device
// library (the simulator) by the program's own export walk, against the floor
// of copying the same number of bytes on the same disk in the same run.
//   export_bench SIMULATOR_LIBRARY DEMO_CARD [RECORDINGS]
// With --real-sizes instead of a count, recordings at a camera's sizes
// (bench/export/real_size_card.h): three videos of 50 to 150 MB as AVI and
// 100 photos of 700 KiB as pictures, which the program writes itself.
// The program's share is the export less the time inside the library's
// calls in that same run (bench/library_timer.h).
// Prints the best of three runs of each and their ratio.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "device/in_process_library.h"
#include "bench/export/real_size_card.h"
#include "bench/library_timer.h"
#include "device/kro_library.h"
#include "export/export_file_system.h"
#include "export/export_worker.h"

namespace fs = std::filesystem;

namespace {

class NoProgress final : public kro::ExportProgress {
public:
    void SetRange(kro::ExportBar, std::int32_t) override {}
    void SetPosition(kro::ExportBar, std::int32_t) override {}
};

class NoTrace final : public kro::TextSink {
public:
    void Write(std::string_view) override {}
};

bool IsVideo(const fs::path& recording) {
    std::ifstream in(recording, std::ios::binary);
    char header[6] = {};
    return in.read(header, sizeof header) && header[5] != 0;  // frames per second
}

// A card of `count` recordings named bench_NNN, copied in turn from the demo
// card's videos.
std::vector<std::string> MakeBenchCard(const fs::path& demo, const fs::path& card, int count) {
    std::vector<fs::path> videos;
    for (const auto& entry : fs::directory_iterator(demo)) {
        if (entry.path().extension() == ".KRO" && IsVideo(entry.path())) videos.push_back(entry.path());
    }
    std::sort(videos.begin(), videos.end());
    if (videos.empty()) return {};
    fs::create_directories(card);
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        std::string name = std::to_string(i);
        name = "bench_" + std::string(name.size() < 3 ? 3 - name.size() : 0, '0') + name;
        fs::copy_file(videos[static_cast<size_t>(i) % videos.size()], card / (name + ".KRO"));
        names.push_back(name);
    }
    fs::copy_file(demo / "KROCARD.INI", card / "KROCARD.INI");
    return names;
}

// The system's file system, with the time spent writing pictures counted:
// the program's own writing, measured where it happens.
class TimedFileSystem final : public kro::ExportFileSystem {
public:
    bool FolderExists(const std::string& path) override {
        return kro::SystemExportFileSystem().FolderExists(path);
    }
    bool CreateFolder(const std::string& path) override {
        return kro::SystemExportFileSystem().CreateFolder(path);
    }
    bool WriteFileReplacing(const std::string& folder, const std::string& path, const std::uint8_t* data,
                            std::size_t size) override {
        const auto start = std::chrono::steady_clock::now();
        const bool written = kro::SystemExportFileSystem().WriteFileReplacing(folder, path, data, size);
        writingSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return written;
    }
    void RemoveStaleTemporaryFiles(const std::string& folder) override {
        kro::SystemExportFileSystem().RemoveStaleTemporaryFiles(folder);
    }
    double writingSeconds = 0;
};

int runs = 3;

template <typename Work>
double BestSeconds(Work work) {
    double best = 1e30;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        work();
        best =
            std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

std::uintmax_t FolderBytes(const fs::path& folder) {
    std::uintmax_t bytes = 0;
    for (const auto& entry : fs::directory_iterator(folder)) bytes += entry.file_size();
    return bytes;
}

// Exports the names as one export of `kind`, best of the runs, against a
// plain copy of the bytes produced; prints the figures. With `replacing`,
// every run finds the files of an earlier export in the folder (the program
// then flushes each picture before it replaces the earlier one). False on
// failures.
bool MeasureExport(const char* label, const kro::KroLibrary& library, const fs::path& root,
                   const std::vector<std::string>& names, std::int32_t kind, bool replacing = false) {
    kro::ExportJob job;
    job.library = &library;
    job.selection = names;
    job.outputFolder = (root / "export").string() + "/";
    job.exportKind = kind;
    NoProgress progress;
    NoTrace trace;
    std::size_t failures = 0;
    double shareSeconds = 1e30;
    double writingSeconds = 1e30;
    fs::remove_all(root / "export");
    if (replacing) kro::RunExport(job, kro::SystemExportFileSystem(), progress, trace);
    const double exportSeconds = BestSeconds([&] {
        if (!replacing) fs::remove_all(root / "export");
        kro::bench::libraryNanoseconds = 0;
        const auto start = std::chrono::steady_clock::now();
        TimedFileSystem fileSystem;
        failures = kro::RunExport(job, fileSystem, progress, trace).failed.size();
        writingSeconds = std::min(writingSeconds, fileSystem.writingSeconds);
        const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        shareSeconds =
            std::min(shareSeconds, total - static_cast<double>(kro::bench::libraryNanoseconds) / 1e9);
    });
    const std::uintmax_t bytes = FolderBytes(root / "export");
    // The floor: the same bytes copied file by file on the same disk.
    const double copySeconds = BestSeconds([&] {
        fs::remove_all(root / "copy");
        fs::create_directories(root / "copy");
        for (const auto& entry : fs::directory_iterator(root / "export"))
            fs::copy_file(entry.path(), root / "copy" / entry.path().filename());
    });
    // The same copy with each file flushed to the disk before the next, as
    // the program writes a picture that replaces an earlier one.
    const double flushedCopySeconds = BestSeconds([&] {
        fs::remove_all(root / "copy");
        fs::create_directories(root / "copy");
        for (const auto& entry : fs::directory_iterator(root / "export")) {
            fs::copy_file(entry.path(), root / "copy" / entry.path().filename());
            const int fd = ::open((root / "copy" / entry.path().filename()).c_str(), O_WRONLY);
            if (fd >= 0) {
                ::fsync(fd);
                ::close(fd);
            }
        }
    });
    fs::remove_all(root / "copy");
    // The walk pauses 1 ms after each recording; what that costs here.
    const double pauseSeconds = BestSeconds([&] {
        for (std::size_t i = 0; i < names.size(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });

    const double megabytes = static_cast<double>(bytes) / 1048576.0;
    const double count = static_cast<double>(names.size());
    std::printf("-- %s: %zu recordings (%zu failed), %.1f MiB written, best of %d\n", label, names.size(),
                failures, megabytes, runs);
    std::printf("export                 : %8.1f ms  %8.1f MiB/s\n", exportSeconds * 1e3,
                megabytes / exportSeconds);
    std::printf("plain copy (floor)     : %8.1f ms  %8.1f MiB/s\n", copySeconds * 1e3,
                megabytes / copySeconds);
    std::printf("copy, each file flushed: %8.1f ms  %8.1f MiB/s\n", flushedCopySeconds * 1e3,
                megabytes / flushedCopySeconds);
    std::printf("ratio copy time/export : %8.2f (throughput against the copy)\n",
                copySeconds / exportSeconds);
    std::printf("  against flushed copy : %8.2f\n", flushedCopySeconds / exportSeconds);
    std::printf("overhead/recording     : %8.3f ms beyond the copy\n",
                (exportSeconds - copySeconds) * 1e3 / count);
    std::printf("program share/recording: %8.3f ms outside library calls, of which the 1 ms pause %.3f ms\n",
                shareSeconds * 1e3 / count, pauseSeconds * 1e3 / count);
    std::printf("share beyond the pause : %8.3f ms per recording (goal <= 0.5)\n",
                (shareSeconds - pauseSeconds) * 1e3 / count);
    if (kind == 3) {
        // Pictures are the program's own writing: the time inside its file
        // writes against copying the same bytes (flushed, when it replaces
        // files).
        std::printf("program's writing      : %8.1f MiB/s, %.2f x the %s copy (goal >= 0.9)\n",
                    megabytes / writingSeconds,
                    (replacing ? flushedCopySeconds : copySeconds) / writingSeconds,
                    replacing ? "flushed" : "plain");
    }
    return failures == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: export_bench SIMULATOR_LIBRARY DEMO_CARD [RECORDINGS | --real-sizes]\n");
        return 2;
    }
    const bool realSizes = argc > 3 && std::string(argv[3]) == "--real-sizes";
    const int count = argc > 3 && !realSizes ? std::atoi(argv[3]) : 100;
    const fs::path root = fs::temp_directory_path() / ("kro_export_bench_" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "library");
    fs::copy_file(argv[1], root / "library" / "KROLib.dll");
    kro::bench::RealSizeCard real;
    std::vector<std::string> names;
    if (realSizes) {
        real = kro::bench::MakeRealSizeCard(argv[2], root / "card", {50, 100, 150}, 100, 700 * 1024);
    } else {
        names = MakeBenchCard(argv[2], root / "card", count);
    }
    if (names.empty() && real.videos.empty()) {
        std::fprintf(stderr, "export_bench: no recordings to build from in %s\n", argv[2]);
        fs::remove_all(root);
        return 1;
    }
    setenv("KROSIM_CARD", (root / "card").c_str(), 1);
    setenv("KROSIM_EXPORT_DIR", ((root / "export").string() + "/").c_str(), 1);

    kro::bench::LibraryTimingLoader loader;
    kro::InProcessLibrary library{loader};
    if (!library.Load((root / "library").string())) {
        std::fprintf(stderr, "export_bench: cannot load the simulator\n");
        return 1;
    }
    bool ok = true;
    if (realSizes) {
        ok = MeasureExport("AVI, recordings of 50, 100 and 150 MB", library, root, real.videos, 1) && ok;
        ok = MeasureExport("pictures of 700 KiB", library, root, real.photos, 3) && ok;
        ok = MeasureExport("the same pictures again, replacing the earlier files", library, root, real.photos,
                           3, true) &&
             ok;
    } else {
        ok = MeasureExport("AVI, demo recordings", library, root, names, 1);
    }
    library.Close();
    fs::remove_all(root);
    return ok ? 0 : 1;
}
