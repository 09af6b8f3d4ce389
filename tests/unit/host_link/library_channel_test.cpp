// The channel over a socket pair: frames arrive whole, lengths out of range
// are refused before anything is read or allocated, and any failure ends it.
#include <gtest/gtest.h>

#include <future>

#include "tests/support/bounded_wait.h"
#include "tests/unit/host_link/wire_fixtures.h"

namespace {

using namespace kro;
using namespace kro::wire_test;
using kro::testing::BecomesReady;

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
    // 52 MiB each way can outlast the usual wait under ThreadSanitizer on a
    // loaded machine; the deadline is not what this case checks.
    const auto deadline = Clock::now() + std::chrono::minutes(2);
    auto sent = std::async(std::launch::async, [&] { return other->WriteFrame(*frame, deadline); });
    const LibraryChannel::Received received = pair.channel->ReadFrame(deadline);
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

TEST(LibraryChannel, AFrameLongerThanTheReaderAsksIsRefused) {
    SocketPair pair;
    pair.Send(Payload{}.Raw("eleven byte").Frame());
    pair.Send(Payload{}.Raw("ten bytes.").Frame());
    EXPECT_EQ(pair.channel->ReadFrame(Later(), 11).status, Status::Ok);
    EXPECT_EQ(pair.channel->ReadFrame(Later(), 9).status, Status::Refused);
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

}  // namespace
