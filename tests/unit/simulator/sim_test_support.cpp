#include "tests/unit/simulator/sim_test_support.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include "device/module_loader.h"
#include "simulator/card.h"
#include "simulator/container.h"

namespace kro::simtest {
namespace {

namespace fs = std::filesystem;

// A 32 x 16 baseline JPEG (colour bars), made with libjpeg-turbo.
constexpr std::uint8_t kTinyJpeg[] = {
    0xff, 0xd8, 0xff, 0xe0, 0x00, 0x10, 0x4a, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00,
    0x01, 0x00, 0x00, 0xff, 0xdb, 0x00, 0x43, 0x00, 0x10, 0x0b, 0x0c, 0x0e, 0x0c, 0x0a, 0x10, 0x0e, 0x0d,
    0x0e, 0x12, 0x11, 0x10, 0x13, 0x18, 0x28, 0x1a, 0x18, 0x16, 0x16, 0x18, 0x31, 0x23, 0x25, 0x1d, 0x28,
    0x3a, 0x33, 0x3d, 0x3c, 0x39, 0x33, 0x38, 0x37, 0x40, 0x48, 0x5c, 0x4e, 0x40, 0x44, 0x57, 0x45, 0x37,
    0x38, 0x50, 0x6d, 0x51, 0x57, 0x5f, 0x62, 0x67, 0x68, 0x67, 0x3e, 0x4d, 0x71, 0x79, 0x70, 0x64, 0x78,
    0x5c, 0x65, 0x67, 0x63, 0xff, 0xdb, 0x00, 0x43, 0x01, 0x11, 0x12, 0x12, 0x18, 0x15, 0x18, 0x2f, 0x1a,
    0x1a, 0x2f, 0x63, 0x42, 0x38, 0x42, 0x63, 0x63, 0x63, 0x63, 0x63, 0x63, 0x63, 0x63, 0x63, 0x63, 0x63,
    0x63, 0x63, 0x63, 0x63, 0x63, 0x63, 0x63, 0x63, 0x63, 0x63, 0x63, 0x63, 0x63, 0x63, 0x63, 0x63, 0x63,
    0x63, 0x63, 0x63, 0x63, 0x63, 0x63, 0x63, 0x63, 0x63, 0x63, 0x63, 0x63, 0x63, 0x63, 0x63, 0x63, 0x63,
    0x63, 0x63, 0x63, 0x63, 0x63, 0xff, 0xc0, 0x00, 0x11, 0x08, 0x00, 0x10, 0x00, 0x20, 0x03, 0x01, 0x22,
    0x00, 0x02, 0x11, 0x01, 0x03, 0x11, 0x01, 0xff, 0xc4, 0x00, 0x18, 0x00, 0x00, 0x02, 0x03, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x07, 0x03, 0x05, 0x06, 0xff,
    0xc4, 0x00, 0x20, 0x10, 0x00, 0x02, 0x01, 0x04, 0x01, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x02, 0x03, 0x00, 0x01, 0x04, 0x11, 0x21, 0x05, 0x12, 0x13, 0x15, 0x31, 0x42, 0xff,
    0xc4, 0x00, 0x15, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x04, 0x05, 0xff, 0xc4, 0x00, 0x1e, 0x11, 0x00, 0x01, 0x03, 0x04, 0x03, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x02, 0x11, 0x03, 0x04, 0x12, 0xa1,
    0x05, 0x32, 0xe1, 0xff, 0xda, 0x00, 0x0c, 0x03, 0x01, 0x00, 0x02, 0x11, 0x03, 0x11, 0x00, 0x3f, 0x00,
    0xa7, 0xb1, 0xe4, 0xb8, 0x7f, 0x25, 0x65, 0x47, 0x29, 0x01, 0x6c, 0x9b, 0x75, 0x8b, 0x48, 0xd2, 0x15,
    0x16, 0x16, 0x17, 0xd5, 0xae, 0xc9, 0x15, 0x6b, 0x9a, 0x17, 0xba, 0xef, 0x78, 0x21, 0xce, 0xf2, 0xf1,
    0x85, 0x23, 0x7f, 0xcc, 0x25, 0x3b, 0x9c, 0xe9, 0xb9, 0xf1, 0xd6, 0x36, 0x4a, 0x4e, 0x4a, 0x56, 0x31,
    0xdf, 0x83, 0x0a, 0x10, 0x84, 0x59, 0x54, 0xff, 0xd9,
};

}  // namespace

std::vector<std::uint8_t> TinyJpeg() {
    return {std::begin(kTinyJpeg), std::end(kTinyJpeg)};
}

std::vector<std::uint8_t> TinyJpegFrame(std::uint32_t index) {
    // A comment segment after the start marker makes each frame's bytes unique.
    const std::string text = "frame " + std::to_string(index);
    std::vector<std::uint8_t> frame = {0xFF, 0xD8, 0xFF, 0xFE, 0, static_cast<std::uint8_t>(text.size() + 2)};
    frame.reserve(frame.size() + text.size() + sizeof kTinyJpeg);
    for (char c : text) frame.push_back(static_cast<std::uint8_t>(c));
    for (std::size_t i = 2; i < sizeof kTinyJpeg; ++i) frame.push_back(kTinyJpeg[i]);
    return frame;
}

TempFolder::TempFolder() {
    std::random_device entropy;
    const fs::path path = fs::temp_directory_path() / ("krosim-test-" + std::to_string(entropy()));
    fs::create_directories(path);
    path_ = path.string();
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string TempFolder::Join(const std::string& name) const {
    return (fs::path(path_) / name).string();
}

std::string EntryName(const RecordingEntry& entry) {
    return std::string(entry.name, std::find(entry.name, entry.name + sizeof entry.name, '\0'));
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(folder, error))
        names.push_back(fs::relative(entry.path(), folder).generic_string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::uint8_t> RecordingFile(const TestRecording& recording) {
    sim::ContainerHeader header;
    header.typeLetter = recording.letter;
    header.framesPerSecond = recording.fps;
    header.durationSeconds = recording.durationSeconds;
    header.frontWidth = 32;
    header.frontHeight = 16;
    header.rearWidth = recording.rearFrames > 0 ? 32 : 0;
    header.rearHeight = recording.rearFrames > 0 ? 16 : 0;
    header.gSensor = recording.gSensor;
    header.frontDeclaredBytes = recording.frontDeclaredBytes;
    header.rearDeclaredBytes = recording.rearDeclaredBytes;
    std::vector<std::vector<std::uint8_t>> front, rear;
    for (std::uint32_t i = 0; i < recording.frontFrames; ++i) front.push_back(TinyJpegFrame(i));
    for (std::uint32_t i = 0; i < recording.rearFrames; ++i) rear.push_back(TinyJpegFrame(1000 + i));
    return sim::BuildContainer(header, front, rear);
}

void WriteCard(const std::string& folder, int diskNumber, const std::vector<TestRecording>& recordings) {
    fs::create_directories(folder);
    for (const TestRecording& recording : recordings)
        WriteFileBytes((fs::path(folder) / (recording.name + ".KRO")).string(), RecordingFile(recording));
    const std::string descriptor = "disk=" + std::to_string(diskNumber) + "\nlabel=TEST CARD\n";
    WriteFileBytes((fs::path(folder) / sim::kDescriptorFileName).string(),
                   std::vector<std::uint8_t>(descriptor.begin(), descriptor.end()));
}

std::string LibraryBesideTests() {
    const std::string program = SystemModuleLoader().ExecutablePath();
    return program.substr(0, program.rfind('\\') + 1) + KROSIM_LIBRARY_NAME;
}

SimLibrary::SimLibrary(const std::string& path) {
    module_ = SystemModuleLoader().Load(path);
    if (module_ == nullptr) return;
    create = Entry<KroCreateFn>("KRO_Create");
    destroy = Entry<KroDeleteFn>("KRO_Delete");
    checkDevice = Entry<KroCheckDeviceFn>("KRO_Check_Kro_Device");
    getFileFlag = Entry<KroGetFileFlagFn>("KRO_Get_File_Flag");
    getFileCount = Entry<KroGetFileCountFn>("KRO_Get_File_Cnt");
    getFileList = Entry<KroGetFileListFn>("KRO_Get_File_List_tt");
    getFileIndexInfo = Entry<KroGetFileIndexInfoFn>("KRO_Get_File_Index_Info");
    makeAviFile = Entry<KroMakeFileFn>("KRO_Make_Avi_File");
    makeKroFile = Entry<KroMakeFileFn>("KRO_Make_Kro_File");
    makePictureFile = Entry<KroMakePictureFileFn>("KRO_Make_Picture_File");
}

SimLibrary::~SimLibrary() {
    if (module_ != nullptr) SystemModuleLoader().Free(module_);
}

void* SimLibrary::Symbol(const char* name) const {
    return module_ != nullptr ? SystemModuleLoader().Symbol(module_, name) : nullptr;
}

Listing SimLibrary::List(KroHandle handle, std::uint8_t category) const {
    Listing listing;
    const std::int32_t count = getFileCount(handle, category);
    listing.entries.resize(static_cast<std::size_t>(std::max(count, 0)));
    listing.auxiliary.resize(listing.entries.size());
    listing.sizes.resize(listing.entries.size());
    listing.durations.resize(listing.entries.size());
    listing.result = getFileList(handle, category, count, listing.entries.data(), listing.auxiliary.data(),
                                 listing.sizes.data(), listing.durations.data());
    return listing;
}

std::vector<std::string> Listing::Names() const {
    std::vector<std::string> names;
    for (const RecordingEntry& entry : entries) names.push_back(EntryName(entry));
    return names;
}

void SimulatorTest::SetUp() {
    ASSERT_TRUE(library_.Loaded()) << LibraryBesideTests();
    card_ = root_.Join("card");
    exports_ = root_.Join("export");
    cardVariable_.emplace("KROSIM_CARD", card_);
    exportVariable_.emplace("KROSIM_EXPORT_DIR", exports_);
    faultsVariable_.emplace("KROSIM_FAULTS", "");
    handle_ = library_.create();
    ASSERT_NE(handle_, 0);
}

void SimulatorTest::TearDown() {
    if (handle_ != 0) library_.destroy(handle_);
}

void SimulatorTest::SetFaults(const std::string& faults) {
    faultsVariable_.emplace("KROSIM_FAULTS", faults);
}

}  // namespace kro::simtest
