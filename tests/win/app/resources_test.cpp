// The program's resources as compiled: About box and progress templates,
// the About menu string, the icon images, the version block and the
// manifest. Texts are compared as UTF-16, as the dialogs show them.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/win/ui/dialog_template.h"
#include "ui/program_resources.h"

namespace kro::testing {
namespace {

std::vector<std::uint8_t> ResourceBytes(int id, int type) {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(type));
    if (found == nullptr) return {};
    const auto* bytes = static_cast<const std::uint8_t*>(LockResource(LoadResource(module, found)));
    return std::vector<std::uint8_t>(bytes, bytes + SizeofResource(module, found));
}

void ExpectItem(const DialogItemTemplate& item, int id, const wchar_t* className, int x, int y, int width,
                int height) {
    EXPECT_EQ(item.id, id);
    EXPECT_EQ(_wcsicmp(item.className.c_str(), className), 0) << "class of " << id;
    EXPECT_EQ(item.x, x);
    EXPECT_EQ(item.y, y);
    EXPECT_EQ(item.width, width);
    EXPECT_EQ(item.height, height);
}

TEST(AboutTemplate, CaptionFontSizeAndStyle) {
    const auto about = ReadDialogTemplate(IDD_ABOUTBOX);
    ASSERT_TRUE(about.has_value());
    EXPECT_EQ(about->caption, L"KroFileList \uC815\uBCF4");
    EXPECT_EQ(about->width, 170);
    EXPECT_EQ(about->height, 62);
    EXPECT_EQ(about->face, L"MS Shell Dlg");
    EXPECT_EQ(about->pointSize, 9);
    const DWORD popupWithCaption = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    EXPECT_EQ(about->style & popupWithCaption, popupWithCaption);
    EXPECT_EQ(about->className, L"");
}

TEST(AboutTemplate, IconTwoTextLinesAndOk) {
    const auto about = ReadDialogTemplate(IDD_ABOUTBOX);
    ASSERT_TRUE(about.has_value());
    ASSERT_EQ(about->items.size(), 4u);

    const DialogItemTemplate& icon = about->items[0];
    ExpectItem(icon, -1, L"Static", 14, 14, 21, 20);
    EXPECT_EQ(icon.style & SS_TYPEMASK, static_cast<DWORD>(SS_ICON));
    EXPECT_EQ(icon.textOrdinal, IDR_MAINFRAME);

    const DialogItemTemplate& name = about->items[1];
    ExpectItem(name, -1, L"Static", 42, 14, 114, 8);
    EXPECT_EQ(name.text, L"KroFileList, \uBC84\uC804 2.0");
    EXPECT_TRUE(name.style & SS_NOPREFIX);

    const DialogItemTemplate& second = about->items[2];
    ExpectItem(second, -1, L"Static", 42, 26, 114, 8);
    EXPECT_FALSE(second.text.empty());

    const DialogItemTemplate& ok = about->items[3];
    ExpectItem(ok, IDOK, L"Button", 113, 41, 50, 14);
    EXPECT_EQ(ok.text, L"\uD655\uC778");
    EXPECT_EQ(ok.style & BS_TYPEMASK, static_cast<DWORD>(BS_DEFPUSHBUTTON));
}

TEST(ProgressTemplate, NoCaptionNoButtonsTextAndTwoBars) {
    const auto progress = ReadDialogTemplate(IDD_AVIPROGRESS);
    ASSERT_TRUE(progress.has_value());
    EXPECT_EQ(progress->style,
              static_cast<DWORD>(WS_POPUP | WS_BORDER | WS_SYSMENU | DS_SETFONT | DS_FIXEDSYS));
    EXPECT_EQ(progress->exStyle, 0u);
    EXPECT_EQ(progress->caption, L"");
    EXPECT_EQ(progress->face, L"MS Shell Dlg");
    EXPECT_EQ(progress->pointSize, 8);
    EXPECT_EQ(progress->width, 316);
    EXPECT_EQ(progress->height, 66);
    ASSERT_EQ(progress->items.size(), 3u);

    const DialogItemTemplate& text = progress->items[0];
    ExpectItem(text, IDC_PROGRESS_TEXT, L"Static", 11, 10, 72, 8);
    EXPECT_EQ(text.text, L"\uC694\uCCAD \uC791\uC5C5\uC911 \uC785\uB2C8\uB2E4.");
    EXPECT_EQ(text.style, static_cast<DWORD>(WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT));

    ExpectItem(progress->items[1], IDC_PROGRESS_FILES, L"msctls_progress32", 11, 23, 290, 14);
    ExpectItem(progress->items[2], IDC_PROGRESS_STEP, L"msctls_progress32", 11, 40, 290, 14);
    for (int i : {1, 2}) {
        EXPECT_EQ(progress->items[i].style, static_cast<DWORD>(WS_CHILD | WS_VISIBLE | WS_BORDER));
        EXPECT_EQ(progress->items[i].text, L"");
    }
}

TEST(StringTable, AboutMenuText) {
    EXPECT_EQ(ui::LoadText(IDS_ABOUTBOX), L"KroFileList \uC815\uBCF4(&A)...");
}

TEST(Icon, ThreeSizesIn32BitColour) {
    const std::vector<std::uint8_t> group = ResourceBytes(IDR_MAINFRAME, 14);  // RT_GROUP_ICON
    ASSERT_GE(group.size(), 6u);
    const int count = group[4] | (group[5] << 8);
    ASSERT_EQ(count, 3);
    ASSERT_GE(group.size(), 6u + 14u * count);
    std::vector<int> sizes;
    for (int i = 0; i < count; ++i) {
        const std::uint8_t* entry = group.data() + 6 + 14 * i;
        const int width = entry[0] == 0 ? 256 : entry[0];
        const int height = entry[1] == 0 ? 256 : entry[1];
        const int bitCount = entry[6] | (entry[7] << 8);
        EXPECT_EQ(width, height);
        EXPECT_EQ(bitCount, 32) << "image of " << width;
        sizes.push_back(width);
    }
    EXPECT_EQ(sizes, (std::vector<int>{32, 48, 128}));
    // The system loads it at its icon size.
    EXPECT_NE(ui::LoadProgramIcon(IDR_MAINFRAME), nullptr);
}

std::wstring VersionString(const std::vector<std::uint8_t>& block, const wchar_t* name) {
    const std::wstring path = std::wstring(L"\\StringFileInfo\\041203b5\\") + name;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), path.c_str(), &value, &length) || length == 0) return {};
    return std::wstring(static_cast<const wchar_t*>(value));
}

TEST(Version, FileAndProductVersionAndFileNames) {
    std::vector<std::uint8_t> block = ResourceBytes(1, 16);  // RT_VERSION
    ASSERT_FALSE(block.empty());
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", &value, &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000003u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000003u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

    EXPECT_EQ(VersionString(block, L"InternalName"), L"KroFileList.exe");
    EXPECT_EQ(VersionString(block, L"OriginalFilename"), L"KroFileList.exe");
    EXPECT_EQ(VersionString(block, L"FileVersion"), L"1.0.0.3");
    EXPECT_EQ(VersionString(block, L"ProductVersion"), L"1.0.0.3");
}

TEST(Manifest, AsksForAdministratorWithoutVisualStyles) {
    const std::vector<std::uint8_t> bytes = ResourceBytes(1, 24);  // RT_MANIFEST
    ASSERT_FALSE(bytes.empty());
    const std::string manifest(bytes.begin(), bytes.end());
    EXPECT_NE(manifest.find(R"(level="requireAdministrator")"), std::string::npos);
    EXPECT_NE(manifest.find(R"(uiAccess="false")"), std::string::npos);
    EXPECT_EQ(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_EQ(manifest.find("dependentAssembly"), std::string::npos);
}

}  // namespace
}  // namespace kro::testing
