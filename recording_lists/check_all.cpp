#include "recording_lists/check_all.h"

namespace kro {

void ToggleCheckAll(std::uint8_t& allChecked, std::int32_t rowCount,
                    const std::function<void(std::int32_t row, bool checked)>& setCheck) {
    const bool check = allChecked != 1;
    for (std::int32_t row = 0; row < rowCount; ++row) setCheck(row, check);
    allChecked = check ? 1 : 0;
}

}  // namespace kro
