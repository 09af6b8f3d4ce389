// The info popup under Wine: the real menu is shown at the cursor, owned by
// the window, with the recording's lines as plain items, and goes when
// closed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fake_kro_device.h"
#include "recording_lists/recording_info_lines.h"
#include "recording_lists/recording_info_menu.h"
#include "tests/win/recording_lists/list_host.h"

namespace kro {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

struct MenuItem {
    std::string text;
    UINT type = 0;
    UINT state = 0;
    UINT id = 0;
};

std::vector<MenuItem> ReadItems(HMENU menu) {
    std::vector<MenuItem> items;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        char text[512] = {};
        GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID;
        GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info);
        items.push_back({text, info.fType, info.fState, info.wID});
    }
    return items;
}

std::vector<std::string> Texts(const std::vector<MenuItem>& items) {
    std::vector<std::string> texts;
    for (const MenuItem& item : items) texts.push_back(item.text);
    return texts;
}

const std::string kRule(51, '_');

TEST(RecordingInfoMenu, ItemsArePlainEnabledTextsWithCommandZeroAndAmpersandsShowAsTheyAre) {
    const win32::Menu menu = BuildRecordingInfoMenu({"plain", "Filename : A&B&&C", "&"});
    ASSERT_TRUE(menu);
    const std::vector<MenuItem> items = ReadItems(menu.Get());
    // The stored texts double each "&": a menu shows "&&" as one "&" and
    // would hide a single one as a mnemonic mark.
    EXPECT_THAT(Texts(items), ElementsAre("plain", "Filename : A&&B&&&&C", "&&"));
    for (const MenuItem& item : items) {
        EXPECT_EQ(item.type, static_cast<UINT>(MFT_STRING));
        EXPECT_EQ(item.state & (MFS_DISABLED | MFS_GRAYED | MFS_CHECKED), 0u);
        EXPECT_EQ(item.id, 0u);
    }
}

// What one shown popup looked like, read from inside its own menu loop.
struct ShownMenu {
    bool found = false;
    RECT rect = {};
    HMENU menu = nullptr;
    std::vector<MenuItem> items;
};

ShownMenu* shown = nullptr;

void CALLBACK ReadShownMenu(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND popup = FindWindowW(L"#32768", nullptr);
    if (popup == nullptr || !IsWindowVisible(popup)) return;
    KillTimer(nullptr, timer);
    shown->found = true;
    GetWindowRect(popup, &shown->rect);
    shown->menu = reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0));
    if (shown->menu != nullptr) shown->items = ReadItems(shown->menu);
    EndMenu();
}

// Owner window procedure that notes the menu loop it is told about.
bool ownerSawMenuLoop = false;
LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ENTERMENULOOP) ownerSawMenuLoop = true;
    return DefWindowProcW(window, message, wParam, lParam);
}

class ShownInfoMenu : public ::testing::Test {
protected:
    ShownMenu Show(RecordingCategory category, const std::string& name) {
        ShownMenu result;
        shown = &result;
        ownerSawMenuLoop = false;
        SetForegroundWindow(host.Window());
        SetCursorPos(kCursor.x, kCursor.y);
        const UINT_PTR timer = SetTimer(nullptr, 0, 20, &ReadShownMenu);
        ShowRecordingInfoMenu(host.Window(), device.Library(), category, name);
        KillTimer(nullptr, timer);
        shown = nullptr;
        return result;
    }

    void SetUp() override {
        SetWindowLongPtrW(host.Window(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&OwnerProc));
        device.getFileIndexInfo = [this](std::uint8_t category, const char* name, RecordingIndexInfo* info) {
            asked.emplace_back(category, name);
            auto* bytes = reinterpret_cast<std::uint8_t*>(info);
            bytes[52] = 30;                                       // fps
            bytes[68] = 0x2C, bytes[69] = 0x01;                   // front frames 300
            bytes[70] = 0x96;                                     // rear frames 150
            const std::uint32_t front = 1572864, rear = 3 << 20;  // 1.5 MiB, 3 MiB
            std::memcpy(bytes + 100, &front, 4);
            std::memcpy(bytes + 104, &rear, 4);
            const std::uint16_t frontHeight = 1080, rearHeight = 720, frontWidth = 1920, rearWidth = 1280;
            std::memcpy(bytes + 164, &frontHeight, 2);
            std::memcpy(bytes + 166, &rearHeight, 2);
            std::memcpy(bytes + 196, &frontWidth, 2);
            std::memcpy(bytes + 198, &rearWidth, 2);
            const std::int32_t gSensor = -12;
            std::memcpy(bytes + 240, &gSensor, 4);
            return 1;
        };
    }

    static constexpr POINT kCursor = {300, 200};
    // Written by the details query's thread: declared before the device,
    // whose end waits for that thread to leave the library.
    std::vector<std::pair<int, std::string>> asked;
    fake::FakeKroDevice device;
    testing::ListHost host;
};

TEST_F(ShownInfoMenu, AnEventRecordingShowsElevenLinesAtTheCursorOwnedByTheWindow) {
    const ShownMenu menu = Show(RecordingCategory::Event, "240105_0&1E");

    ASSERT_TRUE(menu.found) << "no popup menu appeared";
    EXPECT_THAT(asked, ElementsAre(std::pair<int, std::string>{0, "240105_0&1E"}));
    EXPECT_THAT(
        Texts(menu.items),
        ElementsAre(kRule, "                   Event file Info                  ", "Filename : 240105_0&&1E",
                    "Front frame : 300", "Rear frame : 150", "Front size : 1M", "Rear size : 3M", "fps : 30",
                    "G-Sen : -12", "Front resolution : 1920 x 1080", "Rear resolution : 1280 x 720"));
    EXPECT_EQ(menu.rect.left, kCursor.x);
    EXPECT_EQ(menu.rect.top, kCursor.y);
    EXPECT_TRUE(ownerSawMenuLoop);
    EXPECT_FALSE(IsMenu(menu.menu)) << "the popup is destroyed once it closes";
}

TEST_F(ShownInfoMenu, APhotoShowsTheRuleTheHeaderAndItsName) {
    const ShownMenu menu = Show(RecordingCategory::Photo, "0105_073958.JPG");

    ASSERT_TRUE(menu.found) << "no popup menu appeared";
    EXPECT_THAT(Texts(menu.items), ElementsAre(kRule, "                   Photo file Info                  ",
                                               "Filename : 0105_073958.JPG"));
    EXPECT_THAT(asked, ElementsAre(std::pair<int, std::string>{3, "0105_073958.JPG"}));
}

}  // namespace
}  // namespace kro
