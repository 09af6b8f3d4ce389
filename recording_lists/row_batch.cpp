#include "recording_lists/row_batch.h"

namespace kro {
namespace {

// Inserts rows from `first` on until every row is in or `stop(rows done)`
// holds; returns the index after the last row inserted. Each list that
// receives rows draws once, at the end.
template <typename Stop>
std::size_t InsertRows(const RowBatch& batch, std::size_t first, const CategoryLists& lists, Stop stop) {
    bool touched[kCategoryCount] = {};
    std::size_t next = first;
    for (; next < batch.rows.size() && !stop(next - first); ++next) {
        const RecordingRow& row = batch.rows[next];
        const int category = CategoryIndex(row.category);
        if (!touched[category]) {
            touched[category] = true;
            lists[category]->SetRedraw(false);
        }
        const ui::ListView& list = *lists[category];
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
    return next;
}

}  // namespace

void InsertBatchRows(const RowBatch& batch, const CategoryLists& lists) {
    InsertRows(batch, 0, lists, [](std::size_t) { return false; });
}

bool InsertBatchRowsFor(RowBatch& batch, const CategoryLists& lists,
                        std::chrono::steady_clock::duration budget) {
    const auto start = std::chrono::steady_clock::now();
    batch.inserted = InsertRows(batch, batch.inserted, lists, [&](std::size_t done) {
        return done != 0 && done % kRowsPerClockCheck == 0 &&
               std::chrono::steady_clock::now() - start >= budget;
    });
    return batch.inserted >= batch.rows.size();
}

}  // namespace kro
