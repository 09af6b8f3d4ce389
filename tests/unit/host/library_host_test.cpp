// The library host's portable core: the messages and their encoding, the
// channel over a socket pair, the host's request loop on a thread of its own
// (against the test doubles and a scripted library), and the program's call
// helper against a peer that misbehaves.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <future>
#include <map>
#include <mutex>
#include <thread>

#include "device/in_process_library.h"
#include "device/kro_library.h"
#include "host/library_server.h"
#include "host_proxy/call_host.h"
#include "tests/doubles/double_support.h"
#include "tests/support/bounded_wait.h"

namespace {

using namespace kro;
using Bytes = std::vector<std::uint8_t>;
using Status = LibraryChannel::Status;
using Clock = std::chrono::steady_clock;
using kro::testing::BecomesReady;
using test::CallLog;
using test::ScratchFolder;

// Long enough for any answer on a loaded machine; the case watchdog is later.
constexpr auto kAnswerWait = std::chrono::seconds(10);

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

std::span<const std::uint8_t> PayloadOf(const Bytes& frame) {
    return std::span(frame).subspan(kFrameLengthBytes);
}

Bytes PayloadBytes(const Bytes& frame) {
    return Bytes(frame.begin() + kFrameLengthBytes, frame.end());
}

RecordingEntry Entry(const char* name, char letter) {
    RecordingEntry entry{};
    std::strncpy(entry.name, name, sizeof entry.name);
    entry.typeLetter = letter;
    entry.reserved[22] = 0xEE;
    return entry;
}

// Arrays of `count` zero-filled elements, as the host hands them over.
GetFileListReply ZeroList(bool called, std::size_t count) {
    return {called,
            0,
            std::vector<RecordingEntry>(count),
            std::vector<std::int32_t>(count),
            std::vector<std::uint32_t>(count),
            std::vector<std::int32_t>(count)};
}

GetFileListReply ListReply(std::int32_t result, std::size_t count) {
    GetFileListReply reply{true, result, {}, {}, {}, {}};
    for (std::size_t i = 0; i < count; ++i) {
        reply.entries.push_back(Entry(i == 0 ? "EVT_0000000000AB" : "NOR", i == 0 ? 'E' : 'N'));
        reply.auxiliary.push_back(-static_cast<std::int32_t>(i));
        reply.sizes.push_back(0xFFFFFFF0u + static_cast<std::uint32_t>(i));
        reply.durations.push_back(60 * static_cast<std::int32_t>(i));
    }
    return reply;
}

const std::vector<Request>& SampleRequests() {
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
const std::vector<std::pair<Request, Reply>>& SampleReplies() {
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

TEST(LibraryProtocol, EveryRequestAndReplyComesBackAsItWasSent) {
    for (const Request& request : SampleRequests()) {
        SCOPED_TRACE(static_cast<int>(KindOf(request)));
        const auto frame = EncodeRequest(request);
        ASSERT_TRUE(frame);
        EXPECT_EQ(ParseFrameLength(std::span(*frame).first<kFrameLengthBytes>()), frame->size() - 4);
        EXPECT_EQ(DecodeRequest(PayloadOf(*frame)), request);
    }
    for (const auto& [request, reply] : SampleReplies()) {
        SCOPED_TRACE(static_cast<int>(KindOf(reply)));
        const auto frame = EncodeReply(reply);
        ASSERT_TRUE(frame);
        EXPECT_EQ(ParseFrameLength(std::span(*frame).first<kFrameLengthBytes>()), frame->size() - 4);
        const auto decoded = DecodeReply(PayloadOf(*frame), request);
        ASSERT_TRUE(decoded);
        EXPECT_TRUE(*decoded == reply);
        EXPECT_EQ(EncodeReply(*decoded), frame);
    }
}

TEST(LibraryProtocol, AMessageCutShortOrFollowedByMoreIsRefused) {
    const auto check = [](const Bytes& frame, const auto& decode) {
        const auto payload = PayloadOf(frame);
        for (std::size_t length = 0; length < payload.size(); ++length) {
            EXPECT_FALSE(decode(payload.first(length))) << "cut to " << length << " of " << payload.size();
        }
        Bytes longer(payload.begin(), payload.end());
        longer.push_back(0);
        EXPECT_FALSE(decode(std::span<const std::uint8_t>(longer))) << "one byte more";
    };
    for (const Request& request : SampleRequests()) {
        check(*EncodeRequest(request), [](auto payload) { return DecodeRequest(payload).has_value(); });
    }
    for (const auto& [request, reply] : SampleReplies()) {
        if (std::holds_alternative<MakePictureFileReply>(reply) &&
            std::get<MakePictureFileReply>(reply).bytes.size() > 4) {
            continue;  // a million cuts of the whole buffer add nothing to the four-byte one
        }
        check(*EncodeReply(reply), [&](auto payload) { return DecodeReply(payload, request).has_value(); });
    }
}

TEST(LibraryProtocol, MalformedPayloadsAreRefused) {
    const std::uint32_t beyondList = static_cast<std::uint32_t>(kMaxListCapacity) + 1;
    const struct {
        const char* what;
        Bytes payload;
    } requests[] = {
        {"nothing", {}},
        {"kind 0", Payload{}.U8(0).bytes},
        {"a kind past Close", Payload{}.U8(11).bytes},
        {"a reply's kind", Payload{}.U8(0x82).U8(1).U32(1).U8(2).bytes},
        {"a negative capacity", Payload{}.U8(5).U8(0).U32(0xFFFFFFFF).bytes},
        {"a capacity above the limit", Payload{}.U8(5).U8(0).U32(beyondList).bytes},
        {"a name above the limit", Payload{}.U8(7).Text(std::string(kMaxTextBytes + 1, 'n')).bytes},
        {"a name longer than the payload", Payload{}.U8(8).U16(10).Raw("abc").bytes},
        {"a NUL in a name", Payload{}.U8(9).Text(std::string_view("a\0b", 3)).bytes},
        {"a NUL in the program folder", Payload{}.U8(1).Text("").Text(std::string_view("C:\0", 3)).bytes},
    };
    for (const auto& row : requests) EXPECT_FALSE(DecodeRequest(row.payload)) << row.what;

    const struct {
        const char* what;
        Request answered;
        Bytes payload;
    } replies[] = {
        {"a request's kind", CheckDeviceRequest{}, Payload{}.U8(2).U8(1).U32(1).U8(2).bytes},
        {"the reply to another request", GetFileCountRequest{}, Payload{}.U8(0x82).U8(1).U32(1).U8(2).bytes},
        {"called neither 0 nor 1", GetFileCountRequest{}, Payload{}.U8(0x84).U8(2).U32(0).bytes},
        {"an unknown load failure", LoadRequest{}, Payload{}.U8(0x81).U8(0).U8(0).U8(6).U32(0).bytes},
        {"loaded with a failure", LoadRequest{}, Payload{}.U8(0x81).U8(1).U8(1).U8(1).U32(0).bytes},
        {"not loaded without a failure", LoadRequest{}, Payload{}.U8(0x81).U8(0).U8(0).U8(0).U32(0).bytes},
        {"fewer entries than asked", GetFileListRequest{0, 3}, PayloadBytes(*EncodeReply(ListReply(2, 2)))},
        {"more entries than asked", GetFileListRequest{0, 1}, PayloadBytes(*EncodeReply(ListReply(2, 2)))},
        {"the largest count with no entries", GetFileListRequest{0, kMaxListCapacity},
         Payload{}.U8(0x85).U8(1).U32(0).U32(kMaxListCapacity).bytes},
        {"a count beyond the limit", GetFileListRequest{0, 3},
         Payload{}.U8(0x85).U8(1).U32(0).U32(beyondList).bytes},
        {"picture bytes with an overrun", MakePictureFileRequest{},
         Payload{}.U8(0x89).U8(1).U32(1).U32(4).U8(1).U32(4).Raw("JPEG").bytes},
        {"fewer picture bytes than the length", MakePictureFileRequest{},
         Payload{}.U8(0x89).U8(1).U32(1).U32(4).U8(0).U32(3).Raw("JPE").bytes},
        {"picture bytes beyond the buffer", MakePictureFileRequest{},
         Payload{}.U8(0x89).U8(1).U32(1).U32(0x7FFFFFFF).U8(0).U32(kPictureBufferSize + 1).bytes},
        {"picture bytes missing", MakePictureFileRequest{},
         Payload{}.U8(0x89).U8(1).U32(1).U32(10).U8(0).U32(10).Raw("JPEG").bytes},
    };
    for (const auto& row : replies) EXPECT_FALSE(DecodeReply(row.payload, row.answered)) << row.what;

    const std::uint8_t zero[4] = {0, 0, 0, 0};
    const Bytes beyondFrame = Payload{}.U32(kMaxFrameBytes + 1).bytes;
    EXPECT_FALSE(ParseFrameLength(zero));
    EXPECT_FALSE(ParseFrameLength(std::span(beyondFrame).first<4>()));
}

TEST(LibraryProtocol, WhatTheOtherSideWouldRefuseIsNotEncoded) {
    const Request requests[] = {
        MakeAviFileRequest{std::string("EVT\0.kro", 8)},
        GetFileIndexInfoRequest{0, std::string(kMaxTextBytes + 1, 'x')},
        LoadRequest{"D:\\", std::string(1, '\0')},
        GetFileListRequest{0, -1},
        GetFileListRequest{0, kMaxListCapacity + 1},
    };
    for (const Request& request : requests)
        EXPECT_FALSE(EncodeRequest(request)) << static_cast<int>(KindOf(request));
    GetFileListReply unequal = ListReply(1, 2);
    unequal.sizes.pop_back();
    const Reply replies[] = {
        unequal,
        MakePictureFileReply{true, 1, 4, true, {'J', 'P', 'E', 'G'}},
        MakePictureFileReply{true, 1, 4, false, {'J', 'P', 'E'}},
        LoadReply{false, true, LoadFailure::NoModule, 0},
    };
    for (const Reply& reply : replies) EXPECT_FALSE(EncodeReply(reply)) << static_cast<int>(KindOf(reply));
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

Clock::time_point Soon() {
    return Clock::now() + std::chrono::milliseconds(20);
}
Clock::time_point Later() {
    return Clock::now() + kAnswerWait;
}

TEST(LibraryChannel, FramesLargerThanTheSocketsBuffersArriveWholeAndInOrder) {
    SocketPair pair;
    const std::unique_ptr<LibraryChannel> other = pair.PeerChannel();
    Payload big;
    for (int i = 0; i < 3 << 20; ++i) big.U8(static_cast<std::uint8_t>(i * 13));
    const Bytes bigFrame = big.Frame();
    const Bytes smallFrame = Payload{}.U8(10).Frame();
    auto sent = std::async(std::launch::async, [&] {
        return other->WriteFrame(bigFrame, Later()) == Status::Ok &&
               other->WriteFrame(smallFrame, Later()) == Status::Ok;
    });
    const LibraryChannel::Received first = pair.channel->ReadFrame(Later());
    const LibraryChannel::Received second = pair.channel->ReadFrame(Later());
    ASSERT_TRUE(BecomesReady(sent, "both frames to be written"));
    EXPECT_TRUE(sent.get());
    EXPECT_EQ(first.status, Status::Ok);
    EXPECT_TRUE(first.payload == big.bytes);
    EXPECT_EQ(second.status, Status::Ok);
    EXPECT_EQ(second.payload, Bytes{10});
}

TEST(LibraryChannel, TheLargestLegalReplyGoesThroughAndOneByteMoreIsRefused) {
    const auto frame = EncodeReply(ListReply(7, kMaxListCapacity));
    ASSERT_TRUE(frame);
    ASSERT_EQ(frame->size(), kFrameLengthBytes + kMaxFrameBytes);
    SocketPair pair;
    const std::unique_ptr<LibraryChannel> other = pair.PeerChannel();
    auto sent = std::async(std::launch::async, [&] { return other->WriteFrame(*frame, Later()); });
    const LibraryChannel::Received received = pair.channel->ReadFrame(Later());
    ASSERT_TRUE(BecomesReady(sent, "the largest frame to be written"));
    EXPECT_EQ(sent.get(), Status::Ok);
    ASSERT_EQ(received.status, Status::Ok);
    const auto reply = DecodeReply(received.payload, GetFileListRequest{1, kMaxListCapacity});
    ASSERT_TRUE(reply);
    EXPECT_EQ(std::get<GetFileListReply>(*reply).entries.size(), static_cast<std::size_t>(kMaxListCapacity));

    Bytes longer = *frame;
    longer.push_back(0);
    const std::uint32_t length = kMaxFrameBytes + 1;
    for (std::size_t i = 0; i < kFrameLengthBytes; ++i) longer[i] = static_cast<std::uint8_t>(length >> (8 * i));
    EXPECT_EQ(other->WriteFrame(longer, Later()), Status::Refused);
}

TEST(LibraryChannel, ALengthOutOfRangeIsRefusedAndTheStreamIsNotReadFurther) {
    for (const std::uint32_t length : {0u, kMaxFrameBytes + 1, 0xFFFFFFFFu}) {
        SocketPair pair;
        pair.Send(Payload{}.U32(length).bytes);
        pair.Send(Payload{}.U8(10).Frame());
        EXPECT_EQ(pair.channel->ReadFrame(Later()).status, Status::Refused) << length;
        EXPECT_EQ(pair.channel->ReadFrame(Later()).status, Status::Closed) << length;
    }
    for (const Bytes& lying : {Bytes{5, 0, 0, 0, 10}, Bytes{0, 0, 0, 0}}) {
        SocketPair pair;
        EXPECT_EQ(pair.channel->WriteFrame(lying, Later()), Status::Refused);
        EXPECT_TRUE(pair.Arrived().empty());
        EXPECT_EQ(pair.channel->WriteFrame(Payload{}.U8(10).Frame(), Later()), Status::Closed);
    }
}

TEST(LibraryChannel, AnEndThatGoesIsClosedEvenInTheMiddleOfAFrame) {
    SocketPair gone;
    gone.ClosePeer();
    EXPECT_EQ(gone.channel->ReadFrame(Later()).status, Status::Closed);
    SocketPair goneToo;
    goneToo.ClosePeer();
    EXPECT_EQ(goneToo.channel->WriteFrame(Payload{}.U8(10).Frame(), Later()), Status::Closed);  // no SIGPIPE
    SocketPair halfway;
    halfway.Send({20, 0, 0, 0, 10, 11});
    halfway.ClosePeer();
    EXPECT_EQ(halfway.channel->ReadFrame(Later()).status, Status::Closed);
}

TEST(LibraryChannel, AnyDeadlinePassedEndsTheChannelBetweenFramesOrInside) {
    SocketPair between;
    EXPECT_EQ(between.channel->ReadFrame(Soon()).status, Status::TimedOut);
    between.Send(Payload{}.U8(10).Frame());
    EXPECT_EQ(between.channel->ReadFrame(Later()).status, Status::Closed);
    EXPECT_EQ(between.channel->WriteFrame(Payload{}.U8(10).Frame(), Later()), Status::Closed);
    SocketPair inside;
    inside.Send({2, 0, 0, 0, 10});
    EXPECT_EQ(inside.channel->ReadFrame(Soon()).status, Status::TimedOut);
    inside.Send({11});
    EXPECT_EQ(inside.channel->ReadFrame(Later()).status, Status::Closed);
}

// A library the test scripts, behind a fake loader: every export notes the
// thread that called it. It never answers a device check (so the byte must
// come back as sent), fills one list entry whatever the capacity and claims
// five more, and makes pictures as their names say: "whole:N" fills the
// buffer and reports N bytes, "short:N" writes 4 and reports N, "overrun"
// writes 16 bytes past the buffer.
struct ScriptedLibrary {
    std::mutex mutex;
    std::vector<std::thread::id> callers;
    bool listGotArrays = true;
};
ScriptedLibrary scripted;

std::int32_t Noted() {
    const std::lock_guard lock(scripted.mutex);
    scripted.callers.push_back(std::this_thread::get_id());
    return 1;
}

std::int32_t ListOne(KroHandle, std::uint8_t, std::int32_t capacity, RecordingEntry* entries,
                     std::int32_t* auxiliary, std::uint32_t* sizes, std::int32_t* durations) {
    Noted();
    if (entries == nullptr || auxiliary == nullptr || sizes == nullptr || durations == nullptr) {
        const std::lock_guard lock(scripted.mutex);
        scripted.listGotArrays = false;
    }
    entries[0] = Entry("ONE", 'P');
    sizes[0] = 99;
    return capacity + 5;
}

std::int32_t MakePicture(KroHandle, const char* name, std::int32_t* size, std::uint8_t* buffer) {
    Noted();
    const std::string text = name;
    const std::size_t colon = text.find(':');
    *size = colon == std::string::npos ? 0 : std::stoi(text.substr(colon + 1));
    std::size_t written = text.starts_with("whole") ? kPictureBufferSize : 4;
    if (text == "overrun") written = kPictureBufferSize + 16;
    for (std::size_t i = 0; i < written; ++i) buffer[i] = static_cast<std::uint8_t>(i % 251 + 1);
    return 1;
}

template <typename Fn>
void* Export(Fn* entry) {
    return reinterpret_cast<void*>(entry);
}

class ScriptedLoader final : public ModuleLoader {
public:
    Module Load(const std::string&) override { return &token_; }
    void* Symbol(Module, const char* name) override {
        static const std::map<std::string, void*> exports = {
            {"KRO_Create", Export(+[]() -> KroHandle { return Noted() + 6; })},
            {"KRO_Delete", Export(+[](KroHandle) { return Noted(); })},
            {"KRO_Check_Kro_Device", Export(+[](KroHandle, std::uint8_t*) { return Noted(); })},
            {"KRO_Get_File_Flag",
             Export(+[](KroHandle, char*, std::uint8_t*, std::uint8_t*, std::uint8_t*) { return Noted(); })},
            {"KRO_Get_File_Cnt", Export(+[](KroHandle, std::uint8_t) { return Noted(); })},
            {"KRO_Get_File_List_tt", Export(&ListOne)},
            {"KRO_Get_File_Index_Info",
             Export(+[](KroHandle, std::uint8_t, const char*, RecordingIndexInfo*) { return Noted(); })},
            {"KRO_Make_Avi_File", Export(+[](KroHandle, const char*) { return Noted(); })},
            {"KRO_Make_Kro_File", Export(+[](KroHandle, const char*) { return Noted(); })},
            {"KRO_Make_Picture_File", Export(&MakePicture)},
        };
        // The exports the binding never calls.
        const auto found = exports.find(name);
        return found != exports.end() ? found->second : Export(&Noted);
    }
    void Free(Module) override {}
    std::string ExecutablePath() override { return {}; }

private:
    int token_ = 0;
};

// The platform's loader, hiding one export name when told to.
class HidingLoader final : public ModuleLoader {
public:
    void Hide(std::string name) {
        const std::lock_guard lock(mutex_);
        hidden_ = std::move(name);
    }
    Module Load(const std::string& path) override { return system_.Load(path); }
    void* Symbol(Module module, const char* name) override {
        const std::lock_guard lock(mutex_);
        return hidden_ == name ? nullptr : system_.Symbol(module, name);
    }
    void Free(Module module) override { system_.Free(module); }
    std::string ExecutablePath() override { return system_.ExecutablePath(); }
    bool LastLoadWasWrongArchitecture() override { return system_.LastLoadWasWrongArchitecture(); }

private:
    ModuleLoader& system_ = SystemModuleLoader();
    std::mutex mutex_;
    std::string hidden_;
};

// The host's loop on a thread of its own, at the far end of a socket pair.
class LibraryHost : public ::testing::Test {
protected:
    LibraryHost() {
        int ends[2] = {-1, -1};
        EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
        program = MakeSocketChannel(ends[0]);
        host = MakeSocketChannel(ends[1]);
    }
    // The program going ends the loop, which must then end.
    void TearDown() override {
        program.reset();
        if (served.valid()) {
            EXPECT_TRUE(BecomesReady(served, "the host's loop to end"));
        }
    }

    void Start(ModuleLoader& loader) {
        served = std::async(std::launch::async, [this, &loader] {
            loopThread = std::this_thread::get_id();
            return ServeLibrary(*host, loader);
        });
    }
    ServeEnd End() {
        if (!BecomesReady(served, "the host's loop to end")) return ServeEnd::OutOfMemory;
        return served.get();
    }
    template <typename Answer>
    std::optional<Answer> Call(const Request& request) {
        const std::optional<Reply> reply = CallHost(*program, request, Later());
        if (!reply || !std::holds_alternative<Answer>(*reply)) return std::nullopt;
        return std::get<Answer>(*reply);
    }
    std::filesystem::path Place(const ScratchFolder& where, const char* builtName) const {
        return test::PlaceCopy(where.Path(), builtName);
    }

    ScratchFolder folder{"host"};
    HidingLoader hidingLoader;
    ScriptedLoader scriptedLoader;
    std::unique_ptr<LibraryChannel> program;
    std::unique_ptr<LibraryChannel> host;
    std::thread::id loopThread;
    // Last, so that it is waited for before everything the loop uses goes.
    std::future<ServeEnd> served;
};

TEST_F(LibraryHost, EveryCallIsAnsweredAsTheInProcessBindingAnswersIt) {
    const auto hosted = Place(folder, test::kCompleteDouble);
    ScratchFolder ownFolder{"in-process"};
    const auto own = Place(ownFolder, test::kCompleteDouble);
    InProcessLibrary library{SystemModuleLoader()};
    ASSERT_TRUE(library.Load(ownFolder.Text()));
    Start(SystemModuleLoader());
    const auto load = Call<LoadReply>(LoadRequest{folder.Text(), ""});
    ASSERT_TRUE(load);
    EXPECT_TRUE(*load == (LoadReply{true, true, LoadFailure::None, 0xFFFFFFFF}));

    std::uint8_t deviceValue = 0;
    EXPECT_EQ(Call<CheckDeviceReply>(CheckDeviceRequest{0}),
              (CheckDeviceReply{true, library.CheckDevice(&deviceValue), deviceValue}));
    GetFileFlagReply flags{true, 0, {}, 0, 0, 0};
    flags.result = library.GetFileFlag(flags.area.data(), &flags.flag1, &flags.flag2, &flags.flag3);
    EXPECT_EQ(Call<GetFileFlagReply>(GetFileFlagRequest{}), flags);
    EXPECT_EQ(Call<GetFileCountReply>(GetFileCountRequest{200}),
              (GetFileCountReply{true, library.GetFileCount(200)}));
    GetFileListReply list = ZeroList(true, 3);
    list.result = library.GetFileList(3, 3, list.entries.data(), list.auxiliary.data(), list.sizes.data(),
                                      list.durations.data());
    EXPECT_TRUE(Call<GetFileListReply>(GetFileListRequest{3, 3}) == list);
    GetFileIndexInfoReply info{true, 0, {}};
    info.result = library.GetFileIndexInfo(2, "EVT_0001", &info.info);
    EXPECT_TRUE(Call<GetFileIndexInfoReply>(GetFileIndexInfoRequest{2, "EVT_0001"}) == info);
    EXPECT_EQ(Call<MakeAviFileReply>(MakeAviFileRequest{"EVT_0002"}),
              (MakeAviFileReply{true, library.MakeAviFile("EVT_0002")}));
    EXPECT_EQ(Call<MakeKroFileReply>(MakeKroFileRequest{"EVT_0003"}),
              (MakeKroFileReply{true, library.MakeKroFile("EVT_0003")}));
    MakePictureFileReply picture{true, 0, 0, false, Bytes(kPictureBufferSize)};
    picture.result = library.MakePictureFile("PHO_0004", &picture.length, picture.bytes.data());
    picture.bytes.resize(static_cast<std::size_t>(picture.length));
    EXPECT_EQ(Call<MakePictureFileReply>(MakePictureFileRequest{"PHO_0004"}), picture);

    EXPECT_EQ(Call<CloseReply>(CloseRequest{}), CloseReply{true});
    EXPECT_EQ(End(), ServeEnd::CloseServed);
    library.Close();
    EXPECT_EQ(CallLog(hosted), CallLog(own));
    EXPECT_EQ(CallLog(hosted).back(), "KRO_Delete h=4660");
    EXPECT_FALSE(test::IsLibraryLoaded(hosted));
}

TEST_F(LibraryHost, AFailedLoadSaysWhyAndLeavesEveryCallUnmade) {
    ScratchFolder empty{"empty"}, foreign{"foreign"}, failing{"failing"};
    const auto complete = Place(folder, test::kCompleteDouble);
    Place(failing, test::kCreateFailsDouble);
    // The header of a 32-bit ELF file: a library no 64-bit process loads.
    const char elf32[64] = {0x7f, 'E', 'L', 'F', 1, 1, 1};
    std::ofstream(foreign.Path() / kKroLibraryFileName, std::ios::binary).write(elf32, sizeof elf32);
    hidingLoader.Hide("KRO_Read");
    Start(hidingLoader);
    const std::uint32_t all = 0xFFFFFFFF, withoutRead = all & ~(1u << static_cast<int>(KroExport::Read));
    EXPECT_EQ(Call<LoadReply>(LoadRequest{empty.Text(), empty.Text()}),
              (LoadReply{false, false, LoadFailure::NoModule, 0}));
    EXPECT_EQ(Call<LoadReply>(LoadRequest{foreign.Text(), ""}),
              (LoadReply{false, false, LoadFailure::WrongArchitecture, 0}));
    EXPECT_EQ(Call<LoadReply>(LoadRequest{folder.Text(), ""}),
              (LoadReply{false, false, LoadFailure::MissingExport, withoutRead}));
    EXPECT_TRUE(CallLog(complete).empty());
    EXPECT_FALSE(test::IsLibraryLoaded(complete));
    hidingLoader.Hide("");
    EXPECT_EQ(Call<LoadReply>(LoadRequest{failing.Text(), ""}),
              (LoadReply{true, false, LoadFailure::CreateFailed, all}));

    EXPECT_EQ(Call<CheckDeviceReply>(CheckDeviceRequest{9}), (CheckDeviceReply{false, 0, 9}));
    EXPECT_TRUE(Call<GetFileListReply>(GetFileListRequest{0, 2}) == ZeroList(false, 2));
    EXPECT_EQ(Call<MakePictureFileReply>(MakePictureFileRequest{"PHO"}),
              (MakePictureFileReply{false, 0, 0, false, {}}));
    EXPECT_EQ(Call<CloseReply>(CloseRequest{}), CloseReply{false});
}

TEST_F(LibraryHost, TheProgramFolderIsTheOneTheRequestNamesAndASecondLoadChangesNothing) {
    const auto hosted = Place(folder, test::kNoOptionalDouble);
    Start(SystemModuleLoader());
    const std::uint32_t optional =
        (1u << static_cast<int>(KroExport::Format)) | (1u << static_cast<int>(KroExport::GetFileListTt)) |
        (1u << static_cast<int>(KroExport::FatPbStart)) | (1u << static_cast<int>(KroExport::FatPbStop));
    const LoadReply loaded{true, true, LoadFailure::None, 0xFFFFFFFF & ~optional};
    EXPECT_EQ(Call<LoadReply>(LoadRequest{"", folder.Text()}), loaded);
    EXPECT_EQ(Call<LoadReply>(LoadRequest{"", folder.Text()}),
              (LoadReply{false, false, LoadFailure::AlreadyLoaded, loaded.exportMask}));
    // The entry that is missing answers "not ready"; the others are called.
    EXPECT_TRUE(Call<GetFileListReply>(GetFileListRequest{0, 1}) == ZeroList(false, 1));
    EXPECT_EQ(Call<GetFileCountReply>(GetFileCountRequest{1}), (GetFileCountReply{true, 2}));
    EXPECT_EQ(CallLog(hosted),
              (std::vector<std::string>{"KRO_Create", "KRO_Get_File_Cnt h=4660 category=1"}));
}

TEST_F(LibraryHost, TheProgramGoingOrAMalformedRequestEndsTheLoopAndReleasesTheLibrary) {
    const auto hosted = Place(folder, test::kCompleteDouble);
    Start(SystemModuleLoader());
    ASSERT_TRUE(Call<LoadReply>(LoadRequest{folder.Text(), ""}));
    program.reset();
    EXPECT_EQ(End(), ServeEnd::ChannelClosed);
    EXPECT_EQ(CallLog(hosted), (std::vector<std::string>{"KRO_Create", "KRO_Delete h=4660"}));
    EXPECT_FALSE(test::IsLibraryLoaded(hosted));

    ScratchFolder again{"malformed"};
    SocketPair pair;
    const std::unique_ptr<LibraryChannel> hostEnd = pair.PeerChannel();
    pair.channel->WriteFrame(*EncodeRequest(LoadRequest{again.Text(), ""}), Later());
    pair.channel->WriteFrame(Payload{}.U8(0x42).Frame(), Later());
    pair.channel->WriteFrame(*EncodeRequest(CheckDeviceRequest{}), Later());
    const auto copy = Place(again, test::kCompleteDouble);
    EXPECT_EQ(ServeLibrary(*hostEnd, SystemModuleLoader()), ServeEnd::MalformedRequest);
    EXPECT_EQ(CallLog(copy), (std::vector<std::string>{"KRO_Create", "KRO_Delete h=4660"}));
    EXPECT_EQ(pair.channel->ReadFrame(Later()).status, Status::Ok);  // the load's answer
    EXPECT_EQ(pair.channel->ReadFrame(Soon()).status, Status::TimedOut);
}

TEST_F(LibraryHost, EveryLibraryCallIsMadeOnTheLoopsThreadAndHostileAnswersStayInBounds) {
    scripted.callers.clear();
    Start(scriptedLoader);
    ASSERT_TRUE(Call<LoadReply>(LoadRequest{"D:", ""}));
    EXPECT_EQ(Call<CheckDeviceReply>(CheckDeviceRequest{9}), (CheckDeviceReply{true, 1, 9}));
    EXPECT_TRUE(Call<GetFileFlagReply>(GetFileFlagRequest{}));
    EXPECT_TRUE(Call<GetFileCountReply>(GetFileCountRequest{0}));
    EXPECT_TRUE(Call<GetFileListReply>(GetFileListRequest{1, 0}) ==
                (GetFileListReply{true, 5, {}, {}, {}, {}}));
    const auto list = Call<GetFileListReply>(GetFileListRequest{1, 3});
    ASSERT_TRUE(list);
    EXPECT_EQ(list->result, 8);
    EXPECT_STREQ(list->entries[0].name, "ONE");
    EXPECT_EQ(list->sizes, (std::vector<std::uint32_t>{99, 0, 0}));
    EXPECT_EQ(list->entries[2].name[0], '\0');
    EXPECT_TRUE(Call<GetFileIndexInfoReply>(GetFileIndexInfoRequest{0, "EVT"}));
    EXPECT_TRUE(Call<MakeAviFileReply>(MakeAviFileRequest{"EVT"}));
    EXPECT_TRUE(Call<MakeKroFileReply>(MakeKroFileRequest{"EVT"}));

    const auto whole = Call<MakePictureFileReply>(MakePictureFileRequest{"whole:2000000000"});
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->length, 2000000000);
    ASSERT_EQ(whole->bytes.size(), static_cast<std::size_t>(kPictureBufferSize));
    EXPECT_EQ(whole->bytes.back(), (kPictureBufferSize - 1) % 251 + 1);
    // A later, shorter picture does not carry the earlier one's bytes.
    EXPECT_EQ(Call<MakePictureFileReply>(MakePictureFileRequest{"short:6"}),
              (MakePictureFileReply{true, 1, 6, false, {1, 2, 3, 4, 0, 0}}));
    EXPECT_EQ(Call<MakePictureFileReply>(MakePictureFileRequest{"short:-5"}),
              (MakePictureFileReply{true, 1, -5, false, {}}));
    EXPECT_EQ(Call<MakePictureFileReply>(MakePictureFileRequest{"overrun"}),
              (MakePictureFileReply{true, 1, 0, true, {}}));
    EXPECT_EQ(Call<CloseReply>(CloseRequest{}), CloseReply{true});
    ASSERT_EQ(End(), ServeEnd::CloseServed);

    const std::lock_guard lock(scripted.mutex);
    EXPECT_TRUE(scripted.listGotArrays);
    EXPECT_EQ(scripted.callers.size(), 14u);  // KRO_Create, twelve calls, KRO_Delete
    EXPECT_NE(loopThread, std::this_thread::get_id());
    for (const std::thread::id caller : scripted.callers) EXPECT_EQ(caller, loopThread);
}

TEST(LibraryClient, AnythingButAWellFormedAnswerInTimeIsNoAnswer) {
    const Request count = GetFileCountRequest{2};
    const Bytes answer = *EncodeReply(GetFileCountReply{true, 3});
    const struct {
        const char* what;
        Request request;
        Bytes sent;
        bool thenClose;
    } rows[] = {
        {"garbage", count, Payload{}.Raw("garbage").Frame(), false},
        {"an oversized length", count, Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0x84}, false},
        {"the answer to another kind", CheckDeviceRequest{}, answer, false},
        {"too few entries", GetFileListRequest{0, 3}, *EncodeReply(ListReply(1, 2)), false},
        {"a frame cut short", count, Bytes(answer.begin(), answer.end() - 1), true},
        {"the same, the host still there", count, Bytes(answer.begin(), answer.end() - 1), false},
        {"nothing at all", count, {}, false},
        {"a request too big to send", GetFileListRequest{0, kMaxListCapacity + 1}, answer, false},
    };
    for (const auto& row : rows) {
        SocketPair pair;
        if (!row.sent.empty()) pair.Send(row.sent);
        if (row.thenClose) pair.ClosePeer();
        EXPECT_FALSE(CallHost(*pair.channel, row.request, Soon())) << row.what;
    }
    SocketPair pair;
    pair.Send(answer);
    const auto reply = CallHost(*pair.channel, count, Later());
    ASSERT_TRUE(reply);
    EXPECT_EQ(std::get<GetFileCountReply>(*reply), (GetFileCountReply{true, 3}));
    EXPECT_EQ(pair.Arrived(), *EncodeRequest(count));
}

}  // namespace
