#include "recording_lists/recording_info_menu.h"

#include "recording_lists/recording_info_lines.h"

namespace kro {
namespace {

// Menus read "&x" as a mnemonic and "&&" as one "&".
std::string MenuText(const std::string& line) {
    std::string text;
    text.reserve(line.size());
    for (char c : line) {
        text += c;
        if (c == '&') text += '&';
    }
    return text;
}

}  // namespace

win32::Menu BuildRecordingInfoMenu(const std::vector<std::string>& lines) {
    win32::Menu menu(CreatePopupMenu());
    if (!menu) return menu;
    for (const std::string& line : lines) {
        if (!AppendMenuA(menu.Get(), MF_STRING, 0, MenuText(line).c_str())) return win32::Menu();
    }
    return menu;
}

void ShowRecordingInfoMenu(HWND owner, const KroLibrary& library, RecordingCategory category,
                           const std::string& name) {
    // A library that stays busy gets no popup rather than one of zeros.
    const std::optional<RecordingIndexInfo> info = QueryRecordingInfo(library, category, name);
    if (!info) return;
    const win32::Menu menu =
        BuildRecordingInfoMenu(BuildRecordingInfoLines(CategoryIndex(category), name, *info));
    if (!menu) return;
    POINT cursor = {};
    if (!GetCursorPos(&cursor)) return;
    TrackPopupMenu(menu.Get(), 0, cursor.x, cursor.y, 0, owner, nullptr);
}

}  // namespace kro
