#include "recording_lists/row_batch.h"

namespace kro {

void InsertBatchRows(const RowBatch& batch, const CategoryLists& lists) {
    bool touched[kCategoryCount] = {};
    for (const RecordingRow& row : batch.rows) touched[CategoryIndex(row.category)] = true;
    for (int i = 0; i < kCategoryCount; ++i) {
        if (touched[i]) lists[i]->SetRedraw(false);
    }

    for (const RecordingRow& row : batch.rows) {
        const ui::ListView& list = *lists[CategoryIndex(row.category)];
        const int item = list.InsertItemA(row.index, "");
        if (item < 0) continue;
        list.SetItemTextA(item, 1, row.name.c_str());
        list.SetItemTextA(item, 2, row.sizeText.c_str());
        if (row.durationText) list.SetItemTextA(item, 3, row.durationText->c_str());
    }

    for (int i = 0; i < kCategoryCount; ++i) {
        if (!touched[i]) continue;
        lists[i]->SetRedraw(true);
        // Turning drawing back on does not repaint by itself.
        InvalidateRect(lists[i]->Handle(), nullptr, TRUE);
    }
}

}  // namespace kro
