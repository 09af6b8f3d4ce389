#include "tools/cardgen/card_writer.h"

#include <filesystem>
#include <fstream>

#include "simulator/card.h"
#include "simulator/container.h"
#include "tools/cardgen/jpeg_encoder.h"
#include "tools/cardgen/test_pattern.h"

namespace kro::cardgen {
namespace {

namespace fs = std::filesystem;
using Frames = std::vector<std::vector<std::uint8_t>>;

bool IsCardFile(const fs::path& path) {
    const std::string name = path.filename().string();
    if (name == sim::kDescriptorFileName) return true;
    const auto ext = path.extension().string();
    return ext == ".KRO" || ext == ".kro";
}

// Empties the folder of an earlier card; false when it holds anything else.
bool ClearCard(const fs::path& folder, std::string& error) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (!entry.is_regular_file() || !IsCardFile(entry.path())) {
            error = "refusing to write into " + folder.string() + ": it holds " +
                    entry.path().filename().string();
            return false;
        }
        files.push_back(entry.path());
    }
    // The descriptor goes first: a half-cleared folder is no card.
    fs::remove(folder / sim::kDescriptorFileName);
    for (const auto& file : files) fs::remove(file);
    return true;
}

std::uint32_t NameHash(const std::string& name) {
    std::uint32_t hash = 2166136261u;
    for (char c : name) hash = (hash ^ static_cast<std::uint8_t>(c)) * 16777619u;
    return hash;
}

Frames EncodeStream(const RecordingPlan& plan, Camera camera) {
    const bool front = camera == Camera::Front;
    const std::uint32_t count = front ? plan.frontFrames : plan.rearFrames;
    const int width = front ? plan.frontWidth : plan.rearWidth;
    const int height = front ? plan.frontHeight : plan.rearHeight;
    Frames frames;
    frames.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const Picture picture = plan.photo ? PhotoPicture(width, height, plan.name, NameHash(plan.name))
                                           : VideoFrame(width, height, i, count, camera);
        frames.push_back(EncodeJpeg(picture, plan.quality));
    }
    return frames;
}

bool WriteFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

std::vector<std::uint8_t> Container(const RecordingPlan& plan) {
    sim::ContainerHeader header;
    header.typeLetter = plan.letter;
    header.framesPerSecond = plan.framesPerSecond;
    header.durationSeconds = plan.durationSeconds;
    header.frontWidth = static_cast<std::uint16_t>(plan.frontWidth);
    header.frontHeight = static_cast<std::uint16_t>(plan.frontHeight);
    header.rearWidth = static_cast<std::uint16_t>(plan.rearFrames > 0 ? plan.rearWidth : 0);
    header.rearHeight = static_cast<std::uint16_t>(plan.rearFrames > 0 ? plan.rearHeight : 0);
    header.gSensor = plan.gSensor;
    header.frontDeclaredBytes = plan.frontDeclaredBytes;
    header.rearDeclaredBytes = plan.rearDeclaredBytes;
    return sim::BuildContainer(header, EncodeStream(plan, Camera::Front), EncodeStream(plan, Camera::Rear));
}

}  // namespace

std::string WriteCard(const CardPlan& plan, const std::string& folderName) {
    const fs::path folder(folderName);
    std::error_code failure;
    fs::create_directories(folder, failure);
    if (failure) return "cannot create " + folderName + ": " + failure.message();
    std::string error;
    if (!ClearCard(folder, error)) return error;

    for (const RecordingPlan& recording : plan.recordings) {
        const fs::path path = folder / (recording.name + std::string(sim::kRecordingExtension));
        if (!WriteFile(path, Container(recording))) return "cannot write " + path.string();
    }
    const std::string descriptor = "# Simulated dash-camera card\ndisk=" + std::to_string(plan.diskNumber) +
                                   "\nlabel=" + plan.label + "\n";
    if (!WriteFile(folder / sim::kDescriptorFileName,
                   std::vector<std::uint8_t>(descriptor.begin(), descriptor.end())))
        return "cannot write the descriptor";
    return {};
}

}  // namespace kro::cardgen
