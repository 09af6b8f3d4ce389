// The messages between the program and the host process that holds the
// device library, and their encoding.
//
// A frame is a 4-byte little-endian payload length N, 1 <= N <= kMaxFrameBytes,
// then N payload bytes. A payload is one kind byte and the message's fields,
// fixed-width little-endian (library_wire.h). Each request is one operation
// of the binding; its reply has the request's kind with kReplyKindBit set,
// says whether the library was called at all ("not ready": no module, no
// instance or no entry, the binding's 0 without calling) and carries what
// the call returned and wrote. Decoding refuses anything but exactly one
// well-formed message, and what decodes encodes back to the same bytes.
// Portable: no <windows.h>.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "device/kro_api.h"
#include "host_link/library_wire.h"

namespace kro {

enum class MessageKind : std::uint8_t {
    Load = 1,
    CheckDevice,
    GetFileFlag,
    GetFileCount,
    GetFileList,
    GetFileIndexInfo,
    MakeAviFile,
    MakeKroFile,
    MakePictureFile,
    Close,
};
// Set in a reply's kind byte, so that a request never passes for a reply.
inline constexpr std::uint8_t kReplyKindBit = 0x80;

// Most entries one list request may ask for: as many as one list may hold.
inline constexpr std::int32_t kMaxListCapacity = kMaxRecordingsPerList;
// One list entry on the wire: the 40-byte record and three 32-bit values.
inline constexpr std::size_t kListEntryWireBytes = sizeof(RecordingEntry) + 3 * 4;
// A list reply before its entries: kind, called, result, entry count.
inline constexpr std::size_t kListReplyHeaderBytes = 1 + 1 + 4 + 4;
// The longest payload is a list reply of kMaxListCapacity entries (52 MiB);
// the picture reply, next in size, carries at most the 1 MiB buffer. The
// limit is checked before a frame's payload is read or allocated.
inline constexpr std::uint32_t kMaxFrameBytes =
    kListReplyHeaderBytes + static_cast<std::size_t>(kMaxListCapacity) * kListEntryWireBytes;

// Why a Load failed.
enum class LoadFailure : std::uint8_t {
    None = 0,           // loaded
    NoModule,           // the library file loaded from none of the places searched
    WrongArchitecture,  // a library file was found, built for another architecture
    MissingExport,      // a required export is missing; the library was released
    CreateFailed,       // KRO_Create returned 0; the library was released
    AlreadyLoaded,      // an instance exists already; nothing changed
};

// Replies. `called`: the library was called; when false, the result is 0
// and every output is as it was before.

struct LoadReply {
    bool called = false;  // KRO_Create was called
    bool loaded = false;
    LoadFailure failure = LoadFailure::None;  // None exactly when loaded
    std::uint32_t exportMask = 0;             // bit i: entry i of kKroExports found
    bool operator==(const LoadReply&) const = default;
};

struct CheckDeviceReply {
    bool called = false;
    std::int32_t result = 0;
    std::uint8_t deviceValue = 0;  // the byte after the call
    bool operator==(const CheckDeviceReply&) const = default;
};

struct GetFileFlagReply {
    bool called = false;
    std::int32_t result = 0;
    std::array<char, kFileFlagAreaSize> area{};
    std::uint8_t flag1 = 0;
    std::uint8_t flag2 = 0;
    std::uint8_t flag3 = 0;
    bool operator==(const GetFileFlagReply&) const = default;
};

// The replies that carry only the result.
template <MessageKind Kind>
struct ResultReply {
    bool called = false;
    std::int32_t result = 0;
    bool operator==(const ResultReply&) const = default;
};
using GetFileCountReply = ResultReply<MessageKind::GetFileCount>;
using MakeAviFileReply = ResultReply<MessageKind::MakeAviFile>;
using MakeKroFileReply = ResultReply<MessageKind::MakeKroFile>;

// Exactly `capacity` elements of each array, as the library left them.
struct GetFileListReply {
    bool called = false;
    std::int32_t result = 0;
    std::vector<RecordingEntry> entries;
    std::vector<std::int32_t> auxiliary;
    std::vector<std::uint32_t> sizes;
    std::vector<std::int32_t> durations;
};
bool operator==(const GetFileListReply& a, const GetFileListReply& b);

struct GetFileIndexInfoReply {
    bool called = false;
    std::int32_t result = 0;
    RecordingIndexInfo info{};  // zero-filled before the call
};
bool operator==(const GetFileIndexInfoReply& a, const GetFileIndexInfoReply& b);

struct MakePictureFileReply {
    bool called = false;
    std::int32_t result = 0;
    std::int32_t length = 0;  // as the library reported it: not to be trusted
    bool overrun = false;     // the library wrote past the buffer: no bytes
    // The buffer's first PictureBytesFor(length, overrun) bytes.
    std::vector<std::uint8_t> bytes;
    bool operator==(const MakePictureFileReply&) const = default;
};

struct CloseReply {
    bool called = false;  // KRO_Delete was called
    bool operator==(const CloseReply&) const = default;
};

// Requests, each naming its reply as Answer.

struct LoadRequest {
    static constexpr MessageKind kKind = MessageKind::Load;
    using Answer = LoadReply;
    std::string folder;         // as the binding's Load takes it; may be empty
    std::string programFolder;  // searched as the program's own folder; empty skips that place
    bool operator==(const LoadRequest&) const = default;
};

struct CheckDeviceRequest {
    static constexpr MessageKind kKind = MessageKind::CheckDevice;
    using Answer = CheckDeviceReply;
    std::uint8_t deviceValue = 0;  // the byte's value before the call
    bool operator==(const CheckDeviceRequest&) const = default;
};

struct GetFileFlagRequest {
    static constexpr MessageKind kKind = MessageKind::GetFileFlag;
    using Answer = GetFileFlagReply;
    bool operator==(const GetFileFlagRequest&) const = default;
};

struct GetFileCountRequest {
    static constexpr MessageKind kKind = MessageKind::GetFileCount;
    using Answer = GetFileCountReply;
    std::uint8_t category = 0;
    bool operator==(const GetFileCountRequest&) const = default;
};

struct GetFileListRequest {
    static constexpr MessageKind kKind = MessageKind::GetFileList;
    using Answer = GetFileListReply;
    std::uint8_t category = 0;
    std::int32_t capacity = 0;  // 0..kMaxListCapacity
    bool operator==(const GetFileListRequest&) const = default;
};

struct GetFileIndexInfoRequest {
    static constexpr MessageKind kKind = MessageKind::GetFileIndexInfo;
    using Answer = GetFileIndexInfoReply;
    std::uint8_t category = 0;
    std::string name;
    bool operator==(const GetFileIndexInfoRequest&) const = default;
};

// The requests that pass only a recording's name.
template <MessageKind Kind, typename Reply>
struct NameRequest {
    static constexpr MessageKind kKind = Kind;
    using Answer = Reply;
    std::string name;
    bool operator==(const NameRequest&) const = default;
};
using MakeAviFileRequest = NameRequest<MessageKind::MakeAviFile, MakeAviFileReply>;
using MakeKroFileRequest = NameRequest<MessageKind::MakeKroFile, MakeKroFileReply>;
using MakePictureFileRequest = NameRequest<MessageKind::MakePictureFile, MakePictureFileReply>;

// The host deletes the instance, unloads the library, answers and ends.
struct CloseRequest {
    static constexpr MessageKind kKind = MessageKind::Close;
    using Answer = CloseReply;
    bool operator==(const CloseRequest&) const = default;
};

// In the order of MessageKind.
using Request = std::variant<LoadRequest, CheckDeviceRequest, GetFileFlagRequest, GetFileCountRequest,
                             GetFileListRequest, GetFileIndexInfoRequest, MakeAviFileRequest,
                             MakeKroFileRequest, MakePictureFileRequest, CloseRequest>;
using Reply =
    std::variant<LoadReply, CheckDeviceReply, GetFileFlagReply, GetFileCountReply, GetFileListReply,
                 GetFileIndexInfoReply, MakeAviFileReply, MakeKroFileReply, MakePictureFileReply, CloseReply>;

MessageKind KindOf(const Request& request);
MessageKind KindOf(const Reply& reply);

// How many picture bytes a reply carries: none after an overrun, else the
// reported length clamped to 0..kPictureBufferSize.
std::size_t PictureBytesFor(std::int32_t length, bool overrun);

// The longest payload of a reply other than a list or a picture one (the
// details reply, the longest of them, carries a 392-byte record).
inline constexpr std::uint32_t kMostSmallReplyBytes = 512;
// The longest request payload: a kind byte and two texts (the load's).
inline constexpr std::uint32_t kMostRequestBytes = 1 + 2 * (2 + kMaxTextBytes);
// The longest payload a well-formed reply to `request` can have: a reply is
// read with this limit, so that a host announcing more is refused before
// anything is allocated for it.
std::uint32_t MostReplyBytes(const Request& request);

// The payload length a frame's first four bytes announce; nothing for 0 or
// more than kMaxFrameBytes.
std::optional<std::uint32_t> ParseFrameLength(std::span<const std::uint8_t, kFrameLengthBytes> prefix);

// The frame of a request; nothing when it cannot be sent: a text longer than
// kMaxTextBytes or holding a NUL, a list capacity outside 0..kMaxListCapacity.
std::optional<std::vector<std::uint8_t>> EncodeRequest(const Request& request);
// The frame of a reply; nothing when it does not hold together: list arrays
// of unequal lengths or longer than kMaxListCapacity, picture bytes other
// than PictureBytesFor, a load outcome that contradicts itself.
std::optional<std::vector<std::uint8_t>> EncodeReply(const Reply& reply);

// One request from a frame's payload; nothing when the payload is anything
// else (truncated, trailing bytes, unknown kind, a field out of range).
std::optional<Request> DecodeRequest(std::span<const std::uint8_t> payload);
// The reply to `answered`: of its kind, and for a list exactly the capacity
// asked for; nothing otherwise.
std::optional<Reply> DecodeReply(std::span<const std::uint8_t> payload, const Request& answered);

// The first exchange on a fresh channel, before any request: the program
// sends the protocol version it speaks, the host answers with its own, and
// a host of another version serves nothing. The greeting's layout (a kind
// byte, then the version as 32 bits) stays the same in every version, so
// that any two can tell each other apart.
inline constexpr std::uint32_t kProtocolVersion = 1;
inline constexpr std::uint8_t kGreetingKind = 0x7F;
inline constexpr std::uint32_t kGreetingBytes = 5;
// A greeting's frame: the program's, or with kReplyKindBit the host's.
std::vector<std::uint8_t> EncodeGreeting(bool answer, std::uint32_t version);
// The version a greeting's payload carries; nothing for anything else.
std::optional<std::uint32_t> DecodeGreeting(std::span<const std::uint8_t> payload, bool answer);

}  // namespace kro
