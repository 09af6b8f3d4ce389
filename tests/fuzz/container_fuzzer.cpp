// The simulator's readers of card files, fed the input as a file: the
// recording container (header, stream index, first frame, and the AVI made
// from the front stream) and, the same bytes as text, the card descriptor.
// Checks that a decoded header encodes back to the same bytes, that every
// indexed frame and the first frame lie inside the file and start like a
// JPEG picture, that a written AVI's RIFF size is its length less 8, and
// that a descriptor names a disk from 1 to 255.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "simulator/avi_writer.h"
#include "simulator/card.h"
#include "simulator/container.h"
#include "simulator/container_file.h"

namespace {

using namespace kro::sim;

// A read-only stream over the input.
struct MemoryFile {
    explicit MemoryFile(std::vector<std::uint8_t>& bytes)
        : file(fmemopen(bytes.data(), bytes.size(), "rb")) {}
    ~MemoryFile() {
        if (file != nullptr) std::fclose(file);
    }
    std::FILE* file;
};

void CheckFrames(const std::vector<FrameSpan>& frames, const std::vector<std::uint8_t>& bytes) {
    for (const FrameSpan& frame : frames) {
        FUZZ_CHECK(frame.size >= 2 && std::uint64_t{frame.offset} + frame.size <= bytes.size());
        FUZZ_CHECK(bytes[frame.offset] == 0xFF && bytes[frame.offset + 1] == 0xD8);
    }
}

void CheckAvi(const ContainerHeader& header, const std::vector<FrameSpan>& frames, std::FILE* source) {
    char* text = nullptr;
    std::size_t length = 0;
    std::FILE* out = open_memstream(&text, &length);
    FUZZ_CHECK(out != nullptr);
    const AviVideo video{header.frontWidth, header.frontHeight, header.framesPerSecond, frames};
    const bool written = WriteAvi(video, source, out);
    std::fclose(out);
    if (written) {
        FUZZ_CHECK(length >= 12 && std::memcmp(text, "RIFF", 4) == 0 &&
                   std::memcmp(text + 8, "AVI ", 4) == 0);
        std::uint32_t riffSize = 0;
        for (int i = 3; i >= 0; --i) riffSize = (riffSize << 8) | static_cast<std::uint8_t>(text[i + 4]);
        FUZZ_CHECK(riffSize == length - 8);
    }
    std::free(text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> bytes(data, data + size);

    const auto descriptor = ParseDescriptor(std::string_view(reinterpret_cast<const char*>(data), size));
    if (descriptor) FUZZ_CHECK(descriptor->diskNumber >= 1);

    const auto header = DecodeHeader(std::span<const std::uint8_t>(data, size));
    if (!header) return 0;
    FUZZ_CHECK(EncodeHeader(*header) == std::vector<std::uint8_t>(data, data + kContainerHeaderSize));
    FUZZ_CHECK(header->StoredFileSize() <= kMaxContainerFileSize);

    MemoryFile file(bytes);
    FUZZ_CHECK(file.file != nullptr);
    const auto front = IndexStream(file.file, *header, Stream::Front);
    if (front) {
        FUZZ_CHECK(front->size() == header->frontFrames);
        CheckFrames(*front, bytes);
    }
    const auto rear = IndexStream(file.file, *header, Stream::Rear);
    if (rear) {
        FUZZ_CHECK(rear->size() == header->rearFrames);
        CheckFrames(*rear, bytes);
    }
    const auto first = ReadFirstFrame(file.file, *header, 1 << 20);
    if (first) {
        FUZZ_CHECK(first->size() >= 2 && kContainerHeaderSize + 4 + first->size() <= bytes.size());
        FUZZ_CHECK(std::memcmp(first->data(), data + kContainerHeaderSize + 4, first->size()) == 0);
        FUZZ_CHECK((*first)[0] == 0xFF && (*first)[1] == 0xD8);
    }
    if (front && !front->empty()) CheckAvi(*header, *front, file.file);
    return 0;
}
