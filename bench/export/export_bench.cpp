// Export throughput: 100 demo recordings exported as AVI through the device
// library (the simulator) by the program's own export walk, against the floor
// of copying the same number of bytes on the same disk in the same run.
//   export_bench SIMULATOR_LIBRARY DEMO_CARD [RECORDINGS]
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

#include <unistd.h>

#include "device/kro_library.h"
#include "export/export_file_system.h"
#include "export/export_worker.h"

namespace fs = std::filesystem;

namespace {

class NoProgress final : public kro::ExportProgress {
public:
    void SetRange(kro::ProgressBar, std::int32_t) override {}
    void SetPosition(kro::ProgressBar, std::int32_t) override {}
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

template <typename Work>
double BestSeconds(Work work) {
    double best = 1e30;
    for (int run = 0; run < 3; ++run) {
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

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: export_bench SIMULATOR_LIBRARY DEMO_CARD [RECORDINGS]\n");
        return 2;
    }
    const int count = argc > 3 ? std::atoi(argv[3]) : 100;
    const fs::path root = fs::temp_directory_path() / ("kro_export_bench_" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "library");
    fs::copy_file(argv[1], root / "library" / "KROLib.dll");
    const std::vector<std::string> names = MakeBenchCard(argv[2], root / "card", count);
    if (names.empty()) {
        std::fprintf(stderr, "export_bench: no video recordings in %s\n", argv[2]);
        return 1;
    }
    const std::string exportFolder = (root / "export").string() + "/";
    setenv("KROSIM_CARD", (root / "card").c_str(), 1);
    setenv("KROSIM_EXPORT_DIR", exportFolder.c_str(), 1);

    kro::KroLibrary library{kro::SystemModuleLoader()};
    if (!library.Load((root / "library").string())) {
        std::fprintf(stderr, "export_bench: cannot load the simulator\n");
        return 1;
    }
    kro::ExportJob job;
    job.library = &library;
    job.selection = names;
    job.outputFolder = exportFolder;
    job.exportKind = 1;

    NoProgress progress;
    NoTrace trace;
    std::size_t failures = 0;
    const double exportSeconds = BestSeconds([&] {
        fs::remove_all(root / "export");
        failures = kro::RunExport(job, kro::SystemExportFileSystem(), progress, trace).failed.size();
    });
    const std::uintmax_t bytes = FolderBytes(root / "export");

    // The floor: the same bytes copied file by file on the same disk.
    const double copySeconds = BestSeconds([&] {
        fs::remove_all(root / "copy");
        fs::create_directories(root / "copy");
        for (const auto& entry : fs::directory_iterator(root / "export"))
            fs::copy_file(entry.path(), root / "copy" / entry.path().filename());
    });
    // The walk pauses 1 ms after each recording; measure what that costs here.
    const double pauseSeconds = BestSeconds([&] {
        for (std::size_t i = 0; i < names.size(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    library.Close();
    fs::remove_all(root);

    const double megabytes = static_cast<double>(bytes) / 1048576.0;
    std::printf("recordings exported : %zu (%zu failed), %.1f MiB of AVI\n", names.size(), failures,
                megabytes);
    std::printf("export (AVI)        : %8.1f ms  %8.1f MiB/s\n", exportSeconds * 1e3,
                megabytes / exportSeconds);
    std::printf("plain copy (floor)  : %8.1f ms  %8.1f MiB/s\n", copySeconds * 1e3, megabytes / copySeconds);
    std::printf("ratio export/copy   : %8.2f\n", exportSeconds / copySeconds);
    std::printf("overhead/recording  : %8.3f ms\n",
                (exportSeconds - copySeconds) * 1e3 / static_cast<double>(names.size()));
    std::printf("  of which 1 ms pause: %8.3f ms\n", pauseSeconds * 1e3 / static_cast<double>(names.size()));
    return failures == 0 ? 0 : 1;
}
