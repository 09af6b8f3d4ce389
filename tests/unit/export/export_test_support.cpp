#include "export_test_support.h"

#include <fstream>
#include <iterator>
#include <random>

namespace kro::fake {

namespace fs = std::filesystem;

ScratchTree::ScratchTree() {
    std::random_device random;
    const auto tag = std::to_string(random()) + std::to_string(random());
    root_ = fs::temp_directory_path() / ("kro-export-test-" + tag);
    fs::create_directories(root_);
}

ScratchTree::~ScratchTree() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

std::string ScratchTree::FolderText(const std::string& relative) const {
    return (root_ / relative).string() + static_cast<char>(fs::path::preferred_separator);
}

std::set<std::string> ScratchTree::Entries() const {
    std::set<std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root_)) {
        std::string relative = entry.path().lexically_relative(root_).generic_string();
        if (entry.is_directory()) relative += '/';
        entries.insert(relative);
    }
    return entries;
}

std::string ReadWholeFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void WriteWholeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void RecordingProgress::SetRange(ExportBar bar, std::int32_t upper) {
    log->push_back(std::string("range ") + (bar == ExportBar::Files ? "files " : "step ") +
                   std::to_string(upper));
}

void RecordingProgress::SetPosition(ExportBar bar, std::int32_t position) {
    log->push_back(std::string(bar == ExportBar::Files ? "files " : "step ") + std::to_string(position));
}

}  // namespace kro::fake
