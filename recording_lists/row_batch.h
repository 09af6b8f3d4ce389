// Rows of a list load on their way from the loading thread to the lists:
// the loading thread fills a batch on the heap and posts it; the UI thread
// inserts its rows and shows its summary lines.
#pragma once

#include <windows.h>

#include <array>
#include <chrono>
#include <cstddef>
#include <vector>

#include "recording_lists/recording_list_loader.h"
#include "ui/list_view.h"

namespace kro {

struct RowBatch {
    std::vector<RecordingRow> rows;
    // The four summary lines, Event to Photo; only in the last batch of a
    // load that completed.
    std::vector<CategorySummary> summaries;
    // Rows before this index are in the lists already (a batch inserted in
    // slices).
    std::size_t inserted = 0;
};

// The four lists by category index (Event, Normal, Park, Photo).
using CategoryLists = std::array<const ui::ListView*, kCategoryCount>;

// Inserts the batch's rows at their indices, with the texts of columns 1, 2
// and (video rows) 3, the check box unticked. Each list that receives rows
// draws once, after the whole batch: with drawing on, every insert would
// repaint the list.
void InsertBatchRows(const RowBatch& batch, const CategoryLists& lists);

// Rows inserted between two looks at the clock; also the fewest rows a slice
// inserts, so that every slice makes progress.
inline constexpr std::size_t kRowsPerClockCheck = 32;

// Inserts the batch's rows from `inserted` on, as InsertBatchRows does, until
// they are all in or `budget` has passed; moves `inserted` on. True when
// every row of the batch is in the lists.
bool InsertBatchRowsFor(RowBatch& batch, const CategoryLists& lists,
                        std::chrono::steady_clock::duration budget);

}  // namespace kro
