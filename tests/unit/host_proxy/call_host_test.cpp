// The program's side of one call: anything but a well-formed answer to the
// request, in time, is no answer.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include "host_proxy/call_host.h"
#include "tests/unit/host_link/wire_fixtures.h"

namespace {

using namespace kro;
using namespace kro::wire_test;

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

// The process's peak resident memory so far.
long PeakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TEST(LibraryClient, AHugeAnnouncedAnswerIsRefusedBeforeAnythingIsAllocated) {
    // A count's answer is a few bytes; the peer announces the largest frame
    // there is and sends nothing more.
    SocketPair pair;
    pair.Send(Payload{}.U32(kMaxFrameBytes).bytes);
    const long before = PeakKiB();
    EXPECT_FALSE(CallHost(*pair.channel, GetFileCountRequest{2}, Soon()));
    EXPECT_LT(PeakKiB() - before, 8 * 1024) << "KiB more at the peak";
}

TEST(LibraryClient, EachAnswerIsReadWithTheLimitOfTheAnswerAsked) {
    for (const auto& [request, reply] : SampleReplies()) {
        const auto frame = EncodeReply(reply);
        ASSERT_TRUE(frame);
        EXPECT_LE(frame->size() - kFrameLengthBytes, MostReplyBytes(request)) << static_cast<int>(KindOf(reply));
    }
    const auto longest = EncodeReply(MakePictureFileReply{true, 1, kPictureBufferSize, false,
                                                          Bytes(static_cast<std::size_t>(kPictureBufferSize))});
    ASSERT_TRUE(longest);
    EXPECT_LE(longest->size() - kFrameLengthBytes, MostReplyBytes(MakePictureFileRequest{}));
    EXPECT_EQ(MostReplyBytes(GetFileListRequest{0, kMaxListCapacity}), kMaxFrameBytes);
    for (const Request& request : SampleRequests()) {
        const auto sent = EncodeRequest(request);
        ASSERT_TRUE(sent);
        EXPECT_LE(sent->size() - kFrameLengthBytes, kMostRequestBytes) << static_cast<int>(KindOf(request));
    }
    const auto longestRequest = EncodeRequest(LoadRequest{std::string(kMaxTextBytes, 'f'), std::string(kMaxTextBytes, 'p')});
    ASSERT_TRUE(longestRequest);
    EXPECT_EQ(longestRequest->size() - kFrameLengthBytes, kMostRequestBytes);
}

}  // namespace
