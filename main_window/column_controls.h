// The controls of each category column of the main dialog, by column index:
// 0 Event, 1 Normal, 2 Park, 3 Photo (the device library's category codes).
#pragma once

#include "main_window/layout.h"
#include "resources/resource.h"

namespace kro {

struct ColumnControls {
    int summary;
    int groupBox;
    int list;
    int checkAll;
    int save;
    int backup;
};

inline constexpr ColumnControls kColumnControls[layout::kColumnCount] = {
    {IDC_EVENT_SUMMARY, IDC_EVENT_BOX, IDC_EVENT_LIST, IDC_CHECK_ALL_EVENT, IDC_SAVE_EVENT, IDC_BACKUP_EVENT},
    {IDC_NORMAL_SUMMARY, IDC_NORMAL_BOX, IDC_NORMAL_LIST, IDC_CHECK_ALL_NORMAL, IDC_SAVE_NORMAL,
     IDC_BACKUP_NORMAL},
    {IDC_PARK_SUMMARY, IDC_PARK_BOX, IDC_PARK_LIST, IDC_CHECK_ALL_PARK, IDC_SAVE_PARK, IDC_BACKUP_PARK},
    {IDC_PHOTO_SUMMARY, IDC_PHOTO_BOX, IDC_PHOTO_LIST, IDC_CHECK_ALL_PHOTO, IDC_SAVE_PHOTO, IDC_BACKUP_PHOTO},
};

// The Photo column has no duration column and its own button and summary
// texts.
inline constexpr int kPhotoColumn = 3;

}  // namespace kro
