// The main dialog on a 144 DPI screen. The program declares no DPI
// awareness, so Windows shows it a 96 DPI screen and scales the whole window
// up. Wine 8 implements no such scaling: it reports every process as DPI
// aware (IsProcessDPIAware is true with or without the manifest entry) and
// shows it the real 144. Either way the window and every control keep their pixel places in the program's
// own coordinates, and only the list font follows the DPI the program sees.
// The screen's DPI is read when a process starts, so the test sets it for
// the Wine session and runs its checks in a child process of this program.
#include "main_window/kro_file_list_dlg.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "resources/resource.h"
#include "tests/win/ui/modal_run.h"
#include "win32/owned_handle.h"

namespace kro::testing {
namespace {

constexpr wchar_t kDesktopKey[] = L"Control Panel\\Desktop";
constexpr wchar_t kLogPixels[] = L"LogPixels";
constexpr char kChildVariable[] = "KRO_HIGH_DPI_CHILD";

bool InChild() {
    return std::getenv(kChildVariable) != nullptr;
}

// Sets the session's screen DPI for processes started afterwards and puts
// the earlier setting back when it goes.
class ScreenDpi {
public:
    explicit ScreenDpi(DWORD dpi) {
        DWORD size = sizeof previous_;
        hadPrevious_ = RegGetValueW(HKEY_CURRENT_USER, kDesktopKey, kLogPixels, RRF_RT_REG_DWORD, nullptr,
                                    &previous_, &size) == ERROR_SUCCESS;
        set_ = RegSetKeyValueW(HKEY_CURRENT_USER, kDesktopKey, kLogPixels, REG_DWORD, &dpi, sizeof dpi) ==
               ERROR_SUCCESS;
    }
    ~ScreenDpi() {
        if (hadPrevious_) {
            RegSetKeyValueW(HKEY_CURRENT_USER, kDesktopKey, kLogPixels, REG_DWORD, &previous_,
                            sizeof previous_);
        } else {
            RegDeleteKeyValueW(HKEY_CURRENT_USER, kDesktopKey, kLogPixels);
        }
    }
    ScreenDpi(const ScreenDpi&) = delete;
    ScreenDpi& operator=(const ScreenDpi&) = delete;
    bool IsSet() const { return set_; }

private:
    DWORD previous_ = 0;
    bool hadPrevious_ = false;
    bool set_ = false;
};

// Runs this program again with only the child's checks; its exit code.
DWORD RunChildChecks() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(path) + L"\" --gtest_filter=HighDpiChild.*";
    SetEnvironmentVariableA(kChildVariable, "1");
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    const BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &info);
    SetEnvironmentVariableA(kChildVariable, nullptr);
    if (!started) return 255;
    win32::KernelHandle process(info.hProcess);
    win32::KernelHandle thread(info.hThread);
    if (WaitForSingleObject(process.Get(), 120000) != WAIT_OBJECT_0) return 254;
    DWORD code = 253;
    GetExitCodeProcess(process.Get(), &code);
    return code;
}

TEST(HighDpi, ChecksPassInAProcessStartedAt144Dpi) {
    if (InChild()) GTEST_SKIP() << "runs in the parent only";
    const ScreenDpi dpi(144);
    ASSERT_TRUE(dpi.IsSet());
    EXPECT_EQ(RunChildChecks(), 0u);
}

TEST(HighDpiChild, UnawareWindowAndControlsKeepTheirPixelsAndTheListFontFollowsTheDpiSeen) {
    if (!InChild()) GTEST_SKIP() << "runs in the child process only";
    // The program's manifest, linked into this test program too.
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(found, nullptr);
    const char* manifest = static_cast<const char*>(LockResource(LoadResource(nullptr, found)));
    const std::string text(manifest, SizeofResource(nullptr, found));
    EXPECT_NE(text.find("requireAdministrator"), std::string::npos);
    EXPECT_EQ(text.find("dpiAware"), std::string::npos) << "nothing may change how Windows scales the window";
    HDC screen = GetDC(nullptr);
    const int screenDpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    ASSERT_TRUE(screenDpi == 144 || screenDpi == 96) << screenDpi;

    CKroFileListDlg dialog;
    RunModalAndInspect(dialog, [screenDpi](HWND window) {
        RECT rect;
        GetWindowRect(window, &rect);
        EXPECT_EQ(rect.left, 150);
        EXPECT_EQ(rect.top, 150);
        EXPECT_EQ(rect.right - rect.left, 1110);
        EXPECT_EQ(rect.bottom - rect.top, 635);

        HWND photoList = GetDlgItem(window, IDC_PHOTO_LIST);
        GetWindowRect(photoList, &rect);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
        EXPECT_EQ(rect.left, 830);
        EXPECT_EQ(rect.top, 50);
        EXPECT_EQ(rect.right - rect.left, 250);
        EXPECT_EQ(rect.bottom - rect.top, 500);

        LOGFONTW font = {};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(photoList, WM_GETFONT, 0, 0)), sizeof font, &font);
        EXPECT_EQ(font.lfHeight, screenDpi == 144 ? -12 : -13);
    });
}

}  // namespace
}  // namespace kro::testing
