#include "ui/list_view.h"

#include <algorithm>
#include <vector>

namespace kro::ui {

namespace {

// State-image indices of the check box: 1 unticked, 2 ticked.
constexpr UINT kUnchecked = 1;
constexpr UINT kChecked = 2;

// No cell text is longer than this; it only bounds the buffer growth.
constexpr size_t kLongestText = 1 << 16;

}  // namespace

int ListView::InsertItemA(int index, const char* text) const {
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.pszText = const_cast<char*>(text);
    return static_cast<int>(SendMessageA(Handle(), LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

bool ListView::SetItemTextA(int item, int subItem, const char* text) const {
    LVITEMA cell = {};
    cell.iSubItem = subItem;
    cell.pszText = const_cast<char*>(text);
    return SendMessageA(Handle(), LVM_SETITEMTEXTA, static_cast<WPARAM>(item),
                        reinterpret_cast<LPARAM>(&cell)) != FALSE;
}

std::string ListView::ItemTextA(int item, int subItem) const {
    // The control copies at most the buffer less its terminator; grow the
    // buffer until the text plainly fitted.
    for (size_t size = 256; size <= kLongestText; size *= 2) {
        std::vector<char> buffer(size, '\0');
        LVITEMA cell = {};
        cell.iSubItem = subItem;
        cell.pszText = buffer.data();
        cell.cchTextMax = static_cast<int>(size);
        SendMessageA(Handle(), LVM_GETITEMTEXTA, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&cell));
        // The control may answer with a terminated text of its own instead.
        if (cell.pszText != buffer.data())
            return cell.pszText != nullptr ? std::string(cell.pszText) : std::string();
        const std::string copy(buffer.begin(), std::find(buffer.begin(), buffer.end(), '\0'));
        // A double-byte character may have been cut off at the end, so only
        // two spare bytes prove that the whole text fitted.
        if (copy.size() + 2 < size) return copy;
    }
    return {};
}

bool ListView::IsChecked(int item) const {
    const auto state = static_cast<UINT>(
        SendMessageW(Handle(), LVM_GETITEMSTATE, static_cast<WPARAM>(item), LVIS_STATEIMAGEMASK));
    return (state >> 12) == kChecked;
}

bool ListView::SetChecked(int item, bool checked) const {
    LVITEMW change = {};
    change.stateMask = LVIS_STATEIMAGEMASK;
    change.state = INDEXTOSTATEIMAGEMASK(checked ? kChecked : kUnchecked);
    return SendMessageW(Handle(), LVM_SETITEMSTATE, static_cast<WPARAM>(item),
                        reinterpret_cast<LPARAM>(&change)) != FALSE;
}

int ListView::InsertColumn(int index, const wchar_t* heading, int width) const {
    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
    column.fmt = LVCFMT_LEFT;
    column.cx = width;
    column.pszText = const_cast<wchar_t*>(heading);
    return static_cast<int>(SendMessageW(Handle(), LVM_INSERTCOLUMNW, static_cast<WPARAM>(index),
                                         reinterpret_cast<LPARAM>(&column)));
}

}  // namespace kro::ui
