// Owned handles: closed exactly once, by their last owner.
#include "win32/owned_handle.h"

#include <gtest/gtest.h>

#include <utility>

namespace kro::win32 {
namespace {

bool IsFontAlive(HFONT font) {
    return GetObjectType(font) == OBJ_FONT;
}
bool IsHandleOpen(HANDLE handle) {
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != FALSE;
}

HFONT NewFont() {
    return CreateFontW(-13, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, L"Arial");
}

TEST(OwnedHandle, IsReleasedWhenItsOwnerEnds) {
    HFONT raw = NewFont();
    ASSERT_TRUE(IsFontAlive(raw));
    { Font font(raw); }
    EXPECT_FALSE(IsFontAlive(raw));
}

TEST(OwnedHandle, MovingHandsOverWithoutClosing) {
    HFONT raw = NewFont();
    Font first(raw);
    Font second(std::move(first));
    EXPECT_FALSE(first.IsValid());
    EXPECT_EQ(second.Get(), raw);
    EXPECT_TRUE(IsFontAlive(raw));

    Font third;
    third = std::move(second);
    EXPECT_FALSE(second);
    EXPECT_TRUE(IsFontAlive(raw));
    third.Reset();
    EXPECT_FALSE(IsFontAlive(raw));
    EXPECT_FALSE(third);
}

TEST(OwnedHandle, MoveAssignmentClosesWhatTheTargetHeld) {
    HFONT older = NewFont();
    HFONT newer = NewFont();
    Font target(older);
    target = Font(newer);
    EXPECT_FALSE(IsFontAlive(older));
    EXPECT_TRUE(IsFontAlive(newer));
}

TEST(OwnedHandle, ResetToTheSameHandleKeepsIt) {
    HFONT raw = NewFont();
    Font font(raw);
    font.Reset(raw);
    EXPECT_TRUE(IsFontAlive(raw));
}

TEST(OwnedHandle, ReleaseGivesUpOwnership) {
    HFONT raw = NewFont();
    {
        Font font(raw);
        EXPECT_EQ(font.Release(), raw);
    }
    EXPECT_TRUE(IsFontAlive(raw));
    DeleteObject(raw);
}

TEST(OwnedHandle, KernelHandlesAreClosed) {
    HANDLE raw = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(raw, nullptr);
    { KernelHandle event(raw); }
    EXPECT_FALSE(IsHandleOpen(raw));
}

TEST(OwnedHandle, FileHandlesUseInvalidHandleValueAsEmpty) {
    FileHandle none;
    EXPECT_EQ(none.Get(), INVALID_HANDLE_VALUE);
    EXPECT_FALSE(none);
    FileHandle missing(
        CreateFileW(L"C:\\no\\such\\folder\\file.bin", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(missing);
    KernelHandle noMutex;
    EXPECT_EQ(noMutex.Get(), nullptr);
}

TEST(OwnedHandle, CloseReportsTheSystemsAnswerAndLeavesTheOwnerEmpty) {
    HANDLE raw = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(raw, nullptr);
    KernelHandle event(raw);
    EXPECT_TRUE(event.Close());
    EXPECT_FALSE(event);
    EXPECT_FALSE(IsHandleOpen(raw));
    EXPECT_TRUE(event.Close()) << "an empty owner has nothing to close";

    // A handle someone else already closed: the system refuses, and says so.
    HANDLE stale = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(stale, nullptr);
    ASSERT_TRUE(CloseHandle(stale));
    EXPECT_FALSE(KernelHandle(stale).Close());

    ScreenDc screen(GetDC(nullptr));
    ASSERT_TRUE(screen);
    EXPECT_GT(GetDeviceCaps(screen.Get(), LOGPIXELSY), 0);
    EXPECT_TRUE(screen.Close());
}

}  // namespace
}  // namespace kro::win32
