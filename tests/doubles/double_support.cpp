#include "tests/doubles/double_support.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <random>
#include <thread>

namespace kro::test {

ScratchFolder::ScratchFolder(const std::string& label) {
    static std::atomic<int> counter{0};
    std::random_device random;
    const std::string name =
        "kro-" + label + "-" + std::to_string(random()) + "-" + std::to_string(++counter);
    path_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path PlaceCopy(const std::filesystem::path& folder, const char* builtName,
                                const char* asName) {
    const std::filesystem::path target = folder / asName;
    std::filesystem::copy_file(ProgramFolder() / builtName, target,
                               std::filesystem::copy_options::overwrite_existing);
    return target;
}

std::vector<std::string> CallLog(const std::filesystem::path& library) {
    std::vector<std::string> lines;
    std::ifstream log(library.string() + ".log");
    for (std::string line; std::getline(log, line);) lines.push_back(line);
    return lines;
}

bool WaitUntil(const std::function<bool()>& condition) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > giveUp) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

DoubleControls::DoubleControls(const std::filesystem::path& library) {
    ModuleLoader& loader = SystemModuleLoader();
    module_ = loader.Load(library.string());
    if (module_ == nullptr) return;
    setDeviceValue_ =
        reinterpret_cast<decltype(setDeviceValue_)>(loader.Symbol(module_, "KroDouble_SetDeviceValue"));
    checksEntered_ =
        reinterpret_cast<decltype(checksEntered_)>(loader.Symbol(module_, "KroDouble_ChecksEntered"));
    releaseChecks_ =
        reinterpret_cast<decltype(releaseChecks_)>(loader.Symbol(module_, "KroDouble_ReleaseChecks"));
}

DoubleControls::~DoubleControls() {
    if (module_ != nullptr) SystemModuleLoader().Free(module_);
}

bool DoubleControls::Valid() const {
    return module_ != nullptr && setDeviceValue_ != nullptr && checksEntered_ != nullptr &&
           releaseChecks_ != nullptr;
}

}  // namespace kro::test
