// The program's side of one call: anything but a well-formed answer to the
// request, in time, is no answer.
#include <gtest/gtest.h>

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

}  // namespace
