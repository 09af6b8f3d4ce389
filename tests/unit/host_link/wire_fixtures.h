// What the tests of the library host's pieces share: hand-built payloads,
// sample requests and replies, and a socket pair with one end as a channel.
#pragma once

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "host_link/library_channel.h"
#include "host_link/library_protocol.h"

namespace kro::wire_test {

using Bytes = std::vector<std::uint8_t>;
using Status = LibraryChannel::Status;
using Clock = std::chrono::steady_clock;

// Long enough for any answer on a loaded machine; the case watchdog is later.
inline constexpr auto kAnswerWait = std::chrono::seconds(10);

// Hand-built payloads, with no checks of their own.
struct Payload {
    Payload& U8(std::uint8_t value) { return bytes.push_back(value), *this; }
    Payload& U16(std::uint16_t value) { return U8(value & 0xff).U8(value >> 8); }
    Payload& U32(std::uint32_t value) { return U16(value & 0xffff).U16(value >> 16); }
    Payload& Raw(std::string_view text) { return bytes.insert(bytes.end(), text.begin(), text.end()), *this; }
    Payload& Text(std::string_view text) { return U16(static_cast<std::uint16_t>(text.size())).Raw(text); }
    Bytes Frame() const {
        return Payload{}
            .U32(static_cast<std::uint32_t>(bytes.size()))
            .Raw({reinterpret_cast<const char*>(bytes.data()), bytes.size()})
            .bytes;
    }
    Bytes bytes;
};

inline std::span<const std::uint8_t> PayloadOf(const Bytes& frame) {
    return std::span(frame).subspan(kFrameLengthBytes);
}

inline Bytes PayloadBytes(const Bytes& frame) {
    return Bytes(frame.begin() + kFrameLengthBytes, frame.end());
}

inline RecordingEntry Entry(const char* name, char letter) {
    RecordingEntry entry{};
    std::strncpy(entry.name, name, sizeof entry.name);
    entry.typeLetter = letter;
    entry.reserved[22] = 0xEE;
    return entry;
}

// Arrays of `count` zero-filled elements, as the host hands them over.
inline GetFileListReply ZeroList(bool called, std::size_t count) {
    return {called,
            0,
            std::vector<RecordingEntry>(count),
            std::vector<std::int32_t>(count),
            std::vector<std::uint32_t>(count),
            std::vector<std::int32_t>(count)};
}

inline GetFileListReply ListReply(std::int32_t result, std::size_t count) {
    GetFileListReply reply{true, result, {}, {}, {}, {}};
    for (std::size_t i = 0; i < count; ++i) {
        reply.entries.push_back(Entry(i == 0 ? "EVT_0000000000AB" : "NOR", i == 0 ? 'E' : 'N'));
        reply.auxiliary.push_back(-static_cast<std::int32_t>(i));
        reply.sizes.push_back(0xFFFFFFF0u + static_cast<std::uint32_t>(i));
        reply.durations.push_back(60 * static_cast<std::int32_t>(i));
    }
    return reply;
}

inline const std::vector<Request>& SampleRequests() {
    static const std::vector<Request> requests = {
        LoadRequest{"D:\\cards", "C:\\Program Files\\KroFileList"},
        LoadRequest{},
        CheckDeviceRequest{0xFE},
        GetFileFlagRequest{},
        GetFileCountRequest{3},
        GetFileListRequest{2, 0},
        GetFileListRequest{1, 3},
        GetFileIndexInfoRequest{0, "EVT_0001"},
        MakeAviFileRequest{"\xb0\xa1\xb3\xaa name"},
        MakeKroFileRequest{""},
        MakePictureFileRequest{std::string(kMaxTextBytes, 'p')},
        CloseRequest{},
    };
    return requests;
}

// Each reply with the request it answers.
inline const std::vector<std::pair<Request, Reply>>& SampleReplies() {
    static const std::vector<std::pair<Request, Reply>> replies = [] {
        GetFileFlagReply flags{true, 1, {}, 1, 2, 0xFF};
        flags.area.fill('F');
        flags.area[64] = '\0';
        GetFileIndexInfoReply info{true, -1, {}};
        info.info.framesPerSecond = 30;
        info.info.gSensor = -2;
        info.info.reserved6[147] = 0x7F;
        Bytes wholeBuffer(kPictureBufferSize);
        for (std::size_t i = 0; i < wholeBuffer.size(); ++i)
            wholeBuffer[i] = static_cast<std::uint8_t>(i * 7);
        return std::vector<std::pair<Request, Reply>>{
            {LoadRequest{}, LoadReply{true, true, LoadFailure::None, 0xFFFFFFFF}},
            {LoadRequest{}, LoadReply{false, false, LoadFailure::MissingExport, 0x7FFFFFFE}},
            {LoadRequest{}, LoadReply{true, false, LoadFailure::CreateFailed, 0xFFFFFFFF}},
            {CheckDeviceRequest{7}, CheckDeviceReply{false, 0, 7}},
            {CheckDeviceRequest{0}, CheckDeviceReply{true, -3, 2}},
            {GetFileFlagRequest{}, flags},
            {GetFileCountRequest{1}, GetFileCountReply{true, -2147483647 - 1}},
            {GetFileListRequest{0, 0}, ListReply(5, 0)},
            {GetFileListRequest{0, 3}, ListReply(2, 3)},
            {GetFileIndexInfoRequest{}, info},
            {MakeAviFileRequest{}, MakeAviFileReply{true, 1}},
            {MakeKroFileRequest{}, MakeKroFileReply{false, 0}},
            {MakePictureFileRequest{}, MakePictureFileReply{true, 1, 4, false, {'J', 'P', 'E', 'G'}}},
            {MakePictureFileRequest{}, MakePictureFileReply{true, 1, -5, false, {}}},
            {MakePictureFileRequest{}, MakePictureFileReply{true, 1, 0x7FFFFFFF, false, wholeBuffer}},
            {MakePictureFileRequest{}, MakePictureFileReply{true, 0, 10, true, {}}},
            {CloseRequest{}, CloseReply{true}},
        };
    }();
    return replies;
}

// One end of a socket pair as a channel, the other as a plain socket.
struct SocketPair {
    SocketPair() {
        int ends[2] = {-1, -1};
        EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
        channel = MakeSocketChannel(ends[0]);
        peer = ends[1];
    }
    ~SocketPair() { ClosePeer(); }
    void Send(const Bytes& bytes) const {
        EXPECT_EQ(send(peer, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
    }
    // The peer end as a channel too.
    std::unique_ptr<LibraryChannel> PeerChannel() { return MakeSocketChannel(std::exchange(peer, -1)); }
    void ClosePeer() {
        if (peer >= 0) close(std::exchange(peer, -1));
    }
    // Whatever has arrived at the peer so far.
    Bytes Arrived() const {
        Bytes bytes(1 << 16);
        const ssize_t got = recv(peer, bytes.data(), bytes.size(), MSG_DONTWAIT);
        bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        return bytes;
    }

    std::unique_ptr<LibraryChannel> channel;
    int peer = -1;
};

inline Clock::time_point Soon() {
    return Clock::now() + std::chrono::milliseconds(20);
}
inline Clock::time_point Later() {
    return Clock::now() + kAnswerWait;
}

}  // namespace kro::wire_test
