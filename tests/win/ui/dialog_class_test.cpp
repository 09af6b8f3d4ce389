// The main window's class: the system dialog class under the name the main
// dialog's template gives, registered by the program itself.
#include "ui/dialog_class.h"

#include <gtest/gtest.h>

#include "resources/window_class.h"
#include "tests/win/ui/modal_run.h"

namespace kro {
namespace {

TEST(MainWindowClass, IsTheSystemDialogClassUnderAnotherName) {
    testing::PrepareDialogs();  // registers it, as the program does at start-up
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW system = {};
    system.cbSize = sizeof system;
    ASSERT_TRUE(GetClassInfoExW(nullptr, MAKEINTRESOURCEW(0x8002), &system));
    WNDCLASSEXW copy = {};
    copy.cbSize = sizeof copy;
    ASSERT_TRUE(GetClassInfoExW(instance, L"MERIN.KROFILELIST", &copy));
    EXPECT_EQ(copy.lpfnWndProc, system.lpfnWndProc);
    EXPECT_EQ(copy.style, system.style);
    EXPECT_EQ(copy.cbClsExtra, system.cbClsExtra);
    EXPECT_EQ(copy.cbWndExtra, system.cbWndExtra);
    EXPECT_EQ(copy.hIcon, system.hIcon);
    EXPECT_EQ(copy.hCursor, system.hCursor);
    EXPECT_EQ(copy.hbrBackground, system.hbrBackground);
    EXPECT_EQ(copy.hInstance, instance);
}

TEST(MainWindowClass, ASecondRegistrationInTheSameProcessFails) {
    testing::PrepareDialogs();
    EXPECT_FALSE(ui::RegisterDialogClass(GetModuleHandleW(nullptr), kMainWindowClass));
}

}  // namespace
}  // namespace kro
