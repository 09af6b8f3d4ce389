// The messages between the program and the library's host: each comes back
// as it was sent, and whatever is cut short, followed by more or malformed is
// refused.
#include <gtest/gtest.h>

#include "tests/unit/host_link/wire_fixtures.h"

namespace {

using namespace kro;
using namespace kro::wire_test;

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

}  // namespace
