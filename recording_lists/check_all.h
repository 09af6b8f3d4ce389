// The "Check All/Un" toggle of one list: it alternates by a remembered flag,
// not by looking at the rows.
#pragma once

#include <cstdint>
#include <functional>

namespace kro {

// With allChecked exactly 1, sets rows 0..rowCount-1 unchecked and the flag
// to 0; otherwise sets them checked and the flag to 1. Rows are set in index
// order through setCheck(row, checked). The caller keeps one flag per list,
// starting at 0, and nothing but this toggle changes it (a load does not).
void ToggleCheckAll(std::uint8_t& allChecked, std::int32_t rowCount,
                    const std::function<void(std::int32_t row, bool checked)>& setCheck);

}  // namespace kro
