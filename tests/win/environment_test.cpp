// The Wine session our tests run in must look like a user's Korean Windows:
// ANSI code page 949, so recording names pass as the users' systems pass them.
#include <windows.h>

#include <gtest/gtest.h>

TEST(WineSession, AnsiCodePageIsKorean) {
    EXPECT_EQ(GetACP(), 949u);
}

TEST(WineSession, HangulRoundTripsThroughTheAnsiCodePage) {
    const wchar_t* wide = L"\uC774\uBCA4\uD2B8";  // "event" in Hangul
    char ansi[16] = {};
    const int bytes = WideCharToMultiByte(CP_ACP, 0, wide, -1, ansi, sizeof ansi, nullptr, nullptr);
    ASSERT_EQ(bytes, 7);  // three double-byte characters and the NUL
    wchar_t back[8] = {};
    ASSERT_GT(MultiByteToWideChar(CP_ACP, 0, ansi, -1, back, 8), 0);
    EXPECT_STREQ(back, wide);
}
