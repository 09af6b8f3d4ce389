// The library host's messages as they come from the other process: the input
// is one frame's payload, decoded as a request and as the reply to a request
// of each kind. Nothing may crash or read outside the input, a reply must be
// of the kind asked for, a list reply must fit the capacity asked, and
// whatever decodes must encode back to exactly the frame it came in.
#include <cstdint>
#include <span>
#include <variant>
#include <vector>

#include "fuzz_check.h"
#include "host_link/library_protocol.h"

namespace {

std::vector<std::uint8_t> Framed(std::span<const std::uint8_t> payload) {
    std::vector<std::uint8_t> frame;
    for (std::size_t i = 0; i < kro::kFrameLengthBytes; ++i) {
        frame.push_back(static_cast<std::uint8_t>(payload.size() >> (8 * i)));
    }
    frame.insert(frame.end(), payload.begin(), payload.end());
    return frame;
}

// One request of each kind. The list request asks for as many entries as a
// list reply's count field in the input says (bytes 6 to 9), so that list
// replies can decode at all.
std::vector<kro::Request> RequestsToAnswer(std::span<const std::uint8_t> payload) {
    std::int32_t capacity = 2;
    if (payload.size() >= 10) {
        const std::uint32_t count =
            payload[6] | payload[7] << 8 | payload[8] << 16 | static_cast<std::uint32_t>(payload[9]) << 24;
        if (count <= static_cast<std::uint32_t>(kro::kMaxListCapacity))
            capacity = static_cast<std::int32_t>(count);
    }
    return {kro::LoadRequest{},
            kro::CheckDeviceRequest{},
            kro::GetFileFlagRequest{},
            kro::GetFileCountRequest{},
            kro::GetFileListRequest{0, capacity},
            kro::GetFileIndexInfoRequest{},
            kro::MakeAviFileRequest{},
            kro::MakeKroFileRequest{},
            kro::MakePictureFileRequest{},
            kro::CloseRequest{}};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> payload(data, size);
    if (size >= kro::kFrameLengthBytes) {
        const auto length = kro::ParseFrameLength(payload.first<kro::kFrameLengthBytes>());
        FUZZ_CHECK(!length || (*length >= 1 && *length <= kro::kMaxFrameBytes));
    }
    if (const auto request = kro::DecodeRequest(payload)) {
        const auto frame = kro::EncodeRequest(*request);
        FUZZ_CHECK(frame && *frame == Framed(payload));
    }
    for (const bool answer : {false, true}) {
        if (const auto version = kro::DecodeGreeting(payload, answer)) {
            FUZZ_CHECK(kro::EncodeGreeting(answer, *version) == Framed(payload));
        }
    }
    for (const kro::Request& asked : RequestsToAnswer(payload)) {
        const auto reply = kro::DecodeReply(payload, asked);
        if (!reply) continue;
        FUZZ_CHECK(kro::KindOf(*reply) == kro::KindOf(asked));
        // The program copies a list reply into buffers of the asked capacity.
        if (const auto* list = std::get_if<kro::GetFileListReply>(&*reply)) {
            const auto capacity = static_cast<std::size_t>(std::get<kro::GetFileListRequest>(asked).capacity);
            FUZZ_CHECK(list->entries.size() <= capacity && list->auxiliary.size() <= capacity &&
                       list->sizes.size() <= capacity && list->durations.size() <= capacity);
        }
        const auto frame = kro::EncodeReply(*reply);
        FUZZ_CHECK(frame && *frame == Framed(payload));
    }
    return 0;
}
