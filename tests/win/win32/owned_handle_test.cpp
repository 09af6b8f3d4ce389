// Owned handles: closed exactly once, by their last owner.
#include "win32/owned_handle.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace kro::win32 {
namespace {

bool IsFontAlive(HFONT font) {
    return GetObjectType(font) == OBJ_FONT;
}
// A handle's value may be handed out again by any thread of the process as
// soon as it is closed, so "closed" is judged by the object: a named event
// that can no longer be opened by name has lost its last handle.
std::wstring EventName(int which) {
    return L"Local\\kro-owned-handle-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(which);
}
HANDLE NewNamedEvent(int which) {
    return CreateEventW(nullptr, TRUE, FALSE, EventName(which).c_str());
}
bool IsEventAlive(int which) {
    HANDLE again = OpenEventW(SYNCHRONIZE, FALSE, EventName(which).c_str());
    if (again == nullptr) return false;
    CloseHandle(again);
    return true;
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
    HANDLE raw = NewNamedEvent(1);
    ASSERT_NE(raw, nullptr);
    ASSERT_TRUE(IsEventAlive(1));
    { KernelHandle event(raw); }
    EXPECT_FALSE(IsEventAlive(1));
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
    HANDLE raw = NewNamedEvent(2);
    ASSERT_NE(raw, nullptr);
    KernelHandle event(raw);
    EXPECT_TRUE(event.Close());
    EXPECT_FALSE(event);
    EXPECT_FALSE(IsEventAlive(2));
    EXPECT_TRUE(event.Close()) << "an empty owner has nothing to close";

    // A value that names no handle: the system refuses, and says so. (A
    // just-closed value would do only until some thread opens a handle.)
    HANDLE bogus = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x00FFFFFC));
    EXPECT_FALSE(KernelHandle(bogus).Close());

    ScreenDc screen(GetDC(nullptr));
    ASSERT_TRUE(screen);
    EXPECT_GT(GetDeviceCaps(screen.Get(), LOGPIXELSY), 0);
    EXPECT_TRUE(screen.Close());
}

}  // namespace
}  // namespace kro::win32
