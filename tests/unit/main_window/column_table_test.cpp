// The column table: each column's category and the controls the dialog
// routes to that column's list.
#include "main_window/column_table.h"

#include <gtest/gtest.h>

namespace kro {
namespace {

TEST(ColumnTable, EachColumnsSaveAndBackupButtonsReadItsOwnList) {
    struct Expected {
        int save, backup, list;
    };
    const Expected table[layout::kColumnCount] = {
        {1000, 1018, 1001}, {1005, 1019, 1002}, {1006, 1020, 1003}, {1007, 1021, 1004}};
    for (int column = 0; column < layout::kColumnCount; ++column) {
        const Column& c = kColumns[column];
        const Expected& expected = table[column];
        EXPECT_EQ(c.save, expected.save) << column;
        EXPECT_EQ(c.backup, expected.backup) << column;
        EXPECT_EQ(c.list, expected.list) << column;
        EXPECT_EQ(CategoryIndex(c.category), expected.list - 1001) << column;
    }
    // Neither a list nor the Reload button is routed as an export button.
    for (const Column& c : kColumns) {
        for (const int other : {1001, 1008}) {
            EXPECT_NE(c.save, other);
            EXPECT_NE(c.backup, other);
        }
    }
}

}  // namespace
}  // namespace kro
