// Dialog template 102 as compiled into the program: window class, styles,
// font, size, and the controls in tab order with their template texts.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>

#include "resources/resource.h"
#include "tests/win/ui/dialog_template.h"

namespace kro::testing {
namespace {

struct ExpectedItem {
    int id;
    const wchar_t* className;
    const wchar_t* text;
    DWORD style;
};

constexpr DWORD kPushButton = 0x50010000;
constexpr DWORD kGroupBox = 0x50000007;
constexpr DWORD kList = 0x50810801;
constexpr DWORD kSummary = 0x50020000;

// Template order, which is the tab order.
const ExpectedItem kItems[] = {
    {1000, L"Button", L"AVI \uBCC0\uD658", kPushButton},
    {1009, L"Button", L"\uC774\uBCA4\uD2B8", kGroupBox},
    {1010, L"Button", L"\uC77C\uBC18", kGroupBox},
    {1011, L"Button", L"\uC8FC\uCC28 \uBAA8\uC158", kGroupBox},
    {1012, L"Button", L"\uC0AC\uC9C4", kGroupBox},
    {1001, L"SysListView32", L"", kList},
    {1002, L"SysListView32", L"", kList},
    {1003, L"SysListView32", L"", kList},
    {1004, L"SysListView32", L"", kList},
    {1005, L"Button", L"AVI \uBCC0\uD658", kPushButton},
    {1006, L"Button", L"AVI \uBCC0\uD658", kPushButton},
    {1007, L"Button", L"AVI \uBCC0\uD658", kPushButton},
    {1008, L"Button", L"Reload", kPushButton},
    {1018, L"Button", L"KRO \uBC31\uC5C5", kPushButton},
    {1019, L"Button", L"KRO \uBC31\uC5C5", kPushButton},
    {1020, L"Button", L"KRO \uBC31\uC5C5", kPushButton},
    {1021, L"Button", L"KRO \uBC31\uC5C5", kPushButton},
    {1023, L"Static", L"Static", kSummary},
    {1024, L"Static", L"Static", kSummary},
    {1026, L"Static", L"Static", kSummary},
    {1028, L"Static", L"Static", kSummary},
    {1015, L"Button", L"\uC804\uCCB4\uC120\uD0DD/\uD574\uC81C", kPushButton},
    {1016, L"Button", L"\uC804\uCCB4\uC120\uD0DD/\uD574\uC81C", kPushButton},
    {1017, L"Button", L"\uC804\uCCB4\uC120\uD0DD/\uD574\uC81C", kPushButton},
    {1022, L"Button", L"\uC804\uCCB4\uC120\uD0DD/\uD574\uC81C", kPushButton},
};

TEST(MainTemplate, DialogHeader) {
    const auto dialog = ReadDialogTemplate(IDD_KROFILELIST_DIALOG);
    ASSERT_TRUE(dialog.has_value());
    EXPECT_EQ(dialog->caption, L"KroFileList");
    EXPECT_EQ(dialog->className, L"MERIN.KROFILELIST");
    EXPECT_EQ(dialog->style, 0x90C800C8u);
    EXPECT_EQ(dialog->exStyle, static_cast<DWORD>(WS_EX_APPWINDOW));
    EXPECT_EQ(dialog->face, L"MS Shell Dlg");
    EXPECT_EQ(dialog->pointSize, 9);
    EXPECT_EQ(dialog->width, 320);
    EXPECT_EQ(dialog->height, 200);
}

TEST(MainTemplate, ControlsInTabOrderWithTheirTextsAndStyles) {
    const auto dialog = ReadDialogTemplate(IDD_KROFILELIST_DIALOG);
    ASSERT_TRUE(dialog.has_value());
    ASSERT_EQ(dialog->items.size(), std::size(kItems));
    for (size_t i = 0; i < std::size(kItems); ++i) {
        const DialogItemTemplate& item = dialog->items[i];
        SCOPED_TRACE(kItems[i].id);
        EXPECT_EQ(item.id, kItems[i].id);
        EXPECT_EQ(_wcsicmp(item.className.c_str(), kItems[i].className), 0);
        EXPECT_EQ(item.text, kItems[i].text);
        EXPECT_EQ(item.style, kItems[i].style);
        EXPECT_EQ(item.exStyle, 0u);
    }
}

}  // namespace
}  // namespace kro::testing
