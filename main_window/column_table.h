// The main dialog's four category columns, one row each: the category the
// column shows, its controls by ID and the texts of its controls. The dialog
// binds its views, routes its controls' messages and lays them out from this
// one table; what a column's save or backup button asks for is the export
// request's (export/export_request.h). Column index = category index = the
// device library's category code: 0 Event, 1 Normal, 2 Park, 3 Photo.
#pragma once

#include "main_window/layout.h"
#include "recording_lists/recording_types.h"
#include "resources/resource.h"

namespace kro {

struct Column {
    RecordingCategory category;
    int summary;
    int groupBox;
    int list;
    int checkAll;
    int save;
    int backup;
    const wchar_t* groupText;
    const wchar_t* saveText;
};

inline constexpr Column kColumns[layout::kColumnCount] = {
    {RecordingCategory::Event, IDC_EVENT_SUMMARY, IDC_EVENT_BOX, IDC_EVENT_LIST, IDC_CHECK_ALL_EVENT,
     IDC_SAVE_EVENT, IDC_BACKUP_EVENT, L"Event", L"AVI Save"},
    {RecordingCategory::Normal, IDC_NORMAL_SUMMARY, IDC_NORMAL_BOX, IDC_NORMAL_LIST, IDC_CHECK_ALL_NORMAL,
     IDC_SAVE_NORMAL, IDC_BACKUP_NORMAL, L"Normal", L"AVI Save"},
    {RecordingCategory::Park, IDC_PARK_SUMMARY, IDC_PARK_BOX, IDC_PARK_LIST, IDC_CHECK_ALL_PARK,
     IDC_SAVE_PARK, IDC_BACKUP_PARK, L"Park", L"AVI Save"},
    {RecordingCategory::Photo, IDC_PHOTO_SUMMARY, IDC_PHOTO_BOX, IDC_PHOTO_LIST, IDC_CHECK_ALL_PHOTO,
     IDC_SAVE_PHOTO, IDC_BACKUP_PHOTO, L"Photo", L"JPG Save"},
};

// The Photo column has no duration column and its own summary text.
inline constexpr int kPhotoColumn = 3;

// The lists' and labels' font face, the lists' extended style
// (LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT) and their
// columns; column 0 holds the check box, and the Photo list has no duration
// column.
inline constexpr wchar_t kListFontFace[] = L"Arial";
inline constexpr unsigned long kListExtendedStyle = 0x25;
struct ListColumn {
    const wchar_t* heading;
    int width;
};
inline constexpr ListColumn kListColumns[] = {
    {L" ", 20}, {L"Filename", 126}, {L"Size", 43}, {L"Min/Sec", 40}};
inline constexpr int kPhotoListColumns = 3;

}  // namespace kro
