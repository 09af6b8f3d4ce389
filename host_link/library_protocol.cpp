#include "host_link/library_protocol.h"

#include <algorithm>
#include <cstring>
#include <type_traits>
#include <utility>

namespace kro {
namespace {

static_assert(kMaxFrameBytes == kListReplyHeaderBytes + std::size_t{kMaxListCapacity} * kListEntryWireBytes);
static_assert(kMaxFrameBytes > std::size_t{kPictureBufferSize} + kMostSmallReplyBytes,
              "a picture reply fits a frame");
static_assert(sizeof(RecordingIndexInfo) + 16 <= kMostSmallReplyBytes, "the details reply is a small one");

// KindOf, DecodeRequest and DecodeReply rely on the variants' order:
// request I is of kind I + 1 and reply I answers it.
template <std::size_t I>
constexpr bool AnswersInKindOrder() {
    using Asked = std::variant_alternative_t<I, Request>;
    return Asked::kKind == static_cast<MessageKind>(I + 1) &&
           std::is_same_v<typename Asked::Answer, std::variant_alternative_t<I, Reply>>;
}
template <std::size_t... I>
constexpr bool InKindOrder(std::index_sequence<I...>) {
    return (AnswersInKindOrder<I>() && ...);
}
static_assert(std::variant_size_v<Request> == std::variant_size_v<Reply>);
static_assert(InKindOrder(std::make_index_sequence<std::variant_size_v<Request>>{}));

std::uint8_t KindByte(MessageKind kind) {
    return static_cast<std::uint8_t>(kind);
}

bool CapacityInRange(std::int32_t capacity) {
    return capacity >= 0 && capacity <= kMaxListCapacity;
}

// Fields after the kind byte, one Put and one Take per message.

void Put(WireWriter& out, const LoadRequest& m) {
    out.Text(m.folder);
    out.Text(m.programFolder);
}
void Put(WireWriter& out, const CheckDeviceRequest& m) {
    out.U8(m.deviceValue);
}
void Put(WireWriter&, const GetFileFlagRequest&) {}
void Put(WireWriter& out, const GetFileCountRequest& m) {
    out.U8(m.category);
}
void Put(WireWriter& out, const GetFileListRequest& m) {
    if (!CapacityInRange(m.capacity)) out.Fail();
    out.U8(m.category);
    out.I32(m.capacity);
}
void Put(WireWriter& out, const GetFileIndexInfoRequest& m) {
    out.U8(m.category);
    out.Text(m.name);
}
template <MessageKind Kind, typename Reply>
void Put(WireWriter& out, const NameRequest<Kind, Reply>& m) {
    out.Text(m.name);
}
void Put(WireWriter&, const CloseRequest&) {}

void Take(WireReader& in, LoadRequest& m) {
    m.folder = in.Text();
    m.programFolder = in.Text();
}
void Take(WireReader& in, CheckDeviceRequest& m) {
    m.deviceValue = in.U8();
}
void Take(WireReader&, GetFileFlagRequest&) {}
void Take(WireReader& in, GetFileCountRequest& m) {
    m.category = in.U8();
}
void Take(WireReader& in, GetFileListRequest& m) {
    m.category = in.U8();
    m.capacity = in.I32();
    if (!CapacityInRange(m.capacity)) in.Fail();
}
void Take(WireReader& in, GetFileIndexInfoRequest& m) {
    m.category = in.U8();
    m.name = in.Text();
}
template <MessageKind Kind, typename Reply>
void Take(WireReader& in, NameRequest<Kind, Reply>& m) {
    m.name = in.Text();
}
void Take(WireReader&, CloseRequest&) {}

// Replies: `called` is common to all and handled by the callers.

void Put(WireWriter& out, const LoadReply& m) {
    if (m.loaded != (m.failure == LoadFailure::None) || m.failure > LoadFailure::AlreadyLoaded) out.Fail();
    out.Bool(m.loaded);
    out.U8(static_cast<std::uint8_t>(m.failure));
    out.U32(m.exportMask);
}
void Put(WireWriter& out, const CheckDeviceReply& m) {
    out.I32(m.result);
    out.U8(m.deviceValue);
}
void Put(WireWriter& out, const GetFileFlagReply& m) {
    out.I32(m.result);
    out.Raw(m.area.data(), m.area.size());
    out.U8(m.flag1);
    out.U8(m.flag2);
    out.U8(m.flag3);
}
template <MessageKind Kind>
void Put(WireWriter& out, const ResultReply<Kind>& m) {
    out.I32(m.result);
}
void Put(WireWriter& out, const GetFileListReply& m) {
    const std::size_t count = m.entries.size();
    if (count > static_cast<std::size_t>(kMaxListCapacity) || m.auxiliary.size() != count ||
        m.sizes.size() != count || m.durations.size() != count) {
        return out.Fail();
    }
    out.Reserve(kListReplyHeaderBytes + count * kListEntryWireBytes);
    out.I32(m.result);
    out.U32(static_cast<std::uint32_t>(count));
    out.Raw(m.entries.data(), count * sizeof(RecordingEntry));
    for (const std::int32_t value : m.auxiliary) out.I32(value);
    for (const std::uint32_t value : m.sizes) out.U32(value);
    for (const std::int32_t value : m.durations) out.I32(value);
}
void Put(WireWriter& out, const GetFileIndexInfoReply& m) {
    out.I32(m.result);
    out.Raw(&m.info, sizeof m.info);
}
void Put(WireWriter& out, const MakePictureFileReply& m) {
    if (m.bytes.size() != PictureBytesFor(m.length, m.overrun)) return out.Fail();
    out.I32(m.result);
    out.I32(m.length);
    out.Bool(m.overrun);
    out.U32(static_cast<std::uint32_t>(m.bytes.size()));
    out.Raw(m.bytes.data(), m.bytes.size());
}
void Put(WireWriter&, const CloseReply&) {}

void Take(WireReader& in, LoadReply& m) {
    m.loaded = in.Bool();
    const std::uint8_t failure = in.U8();
    m.failure = static_cast<LoadFailure>(failure);
    m.exportMask = in.U32();
    if (failure > static_cast<std::uint8_t>(LoadFailure::AlreadyLoaded) ||
        m.loaded != (m.failure == LoadFailure::None)) {
        in.Fail();
    }
}
void Take(WireReader& in, CheckDeviceReply& m) {
    m.result = in.I32();
    m.deviceValue = in.U8();
}
void Take(WireReader& in, GetFileFlagReply& m) {
    m.result = in.I32();
    in.Raw(m.area.data(), m.area.size());
    m.flag1 = in.U8();
    m.flag2 = in.U8();
    m.flag3 = in.U8();
}
template <MessageKind Kind>
void Take(WireReader& in, ResultReply<Kind>& m) {
    m.result = in.I32();
}
void Take(WireReader& in, GetFileListReply& m) {
    m.result = in.I32();
    const std::uint32_t count = in.U32();
    // The count is checked against what the payload holds before anything
    // is allocated for it.
    if (count > static_cast<std::uint32_t>(kMaxListCapacity) ||
        in.Remaining() / kListEntryWireBytes < count) {
        return in.Fail();
    }
    m.entries.resize(count);
    m.auxiliary.resize(count);
    m.sizes.resize(count);
    m.durations.resize(count);
    in.Raw(m.entries.data(), count * sizeof(RecordingEntry));
    for (std::int32_t& value : m.auxiliary) value = in.I32();
    for (std::uint32_t& value : m.sizes) value = in.U32();
    for (std::int32_t& value : m.durations) value = in.I32();
}
void Take(WireReader& in, GetFileIndexInfoReply& m) {
    m.result = in.I32();
    in.Raw(&m.info, sizeof m.info);
}
void Take(WireReader& in, MakePictureFileReply& m) {
    m.result = in.I32();
    m.length = in.I32();
    m.overrun = in.Bool();
    const std::uint32_t count = in.U32();
    if (count != PictureBytesFor(m.length, m.overrun) || count > in.Remaining()) return in.Fail();
    m.bytes.resize(count);
    in.Raw(m.bytes.data(), count);
}
void Take(WireReader&, CloseReply&) {}

// The request of that kind from the rest of the payload; nothing unless the
// payload is exactly that request.
template <std::size_t I = 0>
std::optional<Request> DecodeRequestOfKind(std::uint8_t kind, WireReader& in) {
    if constexpr (I == std::variant_size_v<Request>) {
        return std::nullopt;
    } else {
        if (kind != I + 1) return DecodeRequestOfKind<I + 1>(kind, in);
        std::variant_alternative_t<I, Request> request;
        Take(in, request);
        if (!in.Finished()) return std::nullopt;
        return request;
    }
}

}  // namespace

bool operator==(const GetFileListReply& a, const GetFileListReply& b) {
    const auto sameEntries = [&] {
        return a.entries.size() == b.entries.size() &&
               (a.entries.empty() || std::memcmp(a.entries.data(), b.entries.data(),
                                                 a.entries.size() * sizeof(RecordingEntry)) == 0);
    };
    return a.called == b.called && a.result == b.result && sameEntries() && a.auxiliary == b.auxiliary &&
           a.sizes == b.sizes && a.durations == b.durations;
}

bool operator==(const GetFileIndexInfoReply& a, const GetFileIndexInfoReply& b) {
    return a.called == b.called && a.result == b.result && std::memcmp(&a.info, &b.info, sizeof a.info) == 0;
}

MessageKind KindOf(const Request& request) {
    return std::visit([](const auto& m) { return std::decay_t<decltype(m)>::kKind; }, request);
}

MessageKind KindOf(const Reply& reply) {
    // The alternatives are in the order of MessageKind, which starts at 1.
    return static_cast<MessageKind>(reply.index() + 1);
}

std::uint32_t MostReplyBytes(const Request& request) {
    if (const auto* list = std::get_if<GetFileListRequest>(&request)) {
        if (!CapacityInRange(list->capacity)) return 0;
        return static_cast<std::uint32_t>(kListReplyHeaderBytes +
                                          static_cast<std::size_t>(list->capacity) * kListEntryWireBytes);
    }
    if (std::holds_alternative<MakePictureFileRequest>(request)) {
        return kMostSmallReplyBytes + static_cast<std::uint32_t>(kPictureBufferSize);
    }
    return kMostSmallReplyBytes;
}

std::size_t PictureBytesFor(std::int32_t length, bool overrun) {
    if (overrun) return 0;
    return static_cast<std::size_t>(std::clamp(length, 0, kPictureBufferSize));
}

std::optional<std::uint32_t> ParseFrameLength(std::span<const std::uint8_t, kFrameLengthBytes> prefix) {
    WireReader in(prefix);
    const std::uint32_t length = in.U32();
    if (length == 0 || length > kMaxFrameBytes) return std::nullopt;
    return length;
}

std::optional<std::vector<std::uint8_t>> EncodeRequest(const Request& request) {
    WireWriter out;
    std::visit(
        [&](const auto& m) {
            out.U8(KindByte(m.kKind));
            Put(out, m);
        },
        request);
    return std::move(out).Frame(kMaxFrameBytes);
}

std::optional<std::vector<std::uint8_t>> EncodeReply(const Reply& reply) {
    WireWriter out;
    out.U8(KindByte(KindOf(reply)) | kReplyKindBit);
    std::visit(
        [&](const auto& m) {
            out.Bool(m.called);
            Put(out, m);
        },
        reply);
    return std::move(out).Frame(kMaxFrameBytes);
}

std::optional<Request> DecodeRequest(std::span<const std::uint8_t> payload) {
    WireReader in(payload);
    const std::uint8_t kind = in.U8();
    return DecodeRequestOfKind(kind, in);
}

std::optional<Reply> DecodeReply(std::span<const std::uint8_t> payload, const Request& answered) {
    return std::visit(
        [&](const auto& request) -> std::optional<Reply> {
            using Answer = typename std::decay_t<decltype(request)>::Answer;
            WireReader in(payload);
            if (in.U8() != (KindByte(request.kKind) | kReplyKindBit)) return std::nullopt;
            Answer reply;
            reply.called = in.Bool();
            Take(in, reply);
            if (!in.Finished()) return std::nullopt;
            if constexpr (std::is_same_v<Answer, GetFileListReply>) {
                if (reply.entries.size() != static_cast<std::size_t>(request.capacity)) return std::nullopt;
            }
            return Reply{std::move(reply)};
        },
        answered);
}

std::vector<std::uint8_t> EncodeGreeting(bool answer, std::uint32_t version) {
    WireWriter out;
    out.U8(answer ? kGreetingKind | kReplyKindBit : kGreetingKind);
    out.U32(version);
    return *std::move(out).Frame(kGreetingBytes);
}

std::optional<std::uint32_t> DecodeGreeting(std::span<const std::uint8_t> payload, bool answer) {
    WireReader in(payload);
    const std::uint8_t kind = in.U8();
    const std::uint32_t version = in.U32();
    if (!in.Finished() || kind != (answer ? kGreetingKind | kReplyKindBit : kGreetingKind))
        return std::nullopt;
    return version;
}

}  // namespace kro
