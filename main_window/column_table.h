// The main dialog's four category columns, one row each: the category the
// column shows, its controls by ID, its texts and what its save button asks
// for. The dialog binds its views, builds its message routes and lays out
// its controls from this one table, and the export buttons are built from
// it. Column index = category index = the device library's category code:
// 0 Event, 1 Normal, 2 Park, 3 Photo.
#pragma once

#include <array>
#include <cstdint>

#include "export/export_request.h"
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
    std::int32_t saveKind;       // the save button's ExportKind
    const char* saveTrace;       // printed by the save button
    const wchar_t* saveRefusal;  // shown when the save button finds no tick
};

inline constexpr Column kColumns[layout::kColumnCount] = {
    {RecordingCategory::Event, IDC_EVENT_SUMMARY, IDC_EVENT_BOX, IDC_EVENT_LIST, IDC_CHECK_ALL_EVENT,
     IDC_SAVE_EVENT, IDC_BACKUP_EVENT, L"Event", L"AVI Save", kEventExportKind, "event \n",
     L"Check a file in the Event list!!"},
    {RecordingCategory::Normal, IDC_NORMAL_SUMMARY, IDC_NORMAL_BOX, IDC_NORMAL_LIST, IDC_CHECK_ALL_NORMAL,
     IDC_SAVE_NORMAL, IDC_BACKUP_NORMAL, L"Normal", L"AVI Save", kNormalExportKind, "normal \n",
     L"Check a file in the Normal list!!"},
    {RecordingCategory::Park, IDC_PARK_SUMMARY, IDC_PARK_BOX, IDC_PARK_LIST, IDC_CHECK_ALL_PARK,
     IDC_SAVE_PARK, IDC_BACKUP_PARK, L"Park", L"AVI Save", kParkExportKind, "park \n",
     L"Check a file in the Park list!!"},
    {RecordingCategory::Photo, IDC_PHOTO_SUMMARY, IDC_PHOTO_BOX, IDC_PHOTO_LIST, IDC_CHECK_ALL_PHOTO,
     IDC_SAVE_PHOTO, IDC_BACKUP_PHOTO, L"Photo", L"JPG Save", kPhotoExportKind, "manual \n",
     L"Check a file in the Photo list!!"},
};

// The Photo column has no duration column and its own summary text.
inline constexpr int kPhotoColumn = 3;

// The eight save and backup buttons: the four save buttons in column order,
// then the four backup buttons. Every backup asks for kBackupExportKind.
inline constexpr std::array<ExportButton, 2 * layout::kColumnCount> kExportButtons = [] {
    std::array<ExportButton, 2 * layout::kColumnCount> buttons{};
    for (int column = 0; column < layout::kColumnCount; ++column) {
        const Column& c = kColumns[column];
        buttons[column] = {c.save, c.list, c.category, c.saveKind, false, c.saveTrace, c.saveRefusal};
        buttons[layout::kColumnCount + column] = {c.backup, c.list,  c.category,        kBackupExportKind,
                                                  true,     nullptr, kBackupRefusalText};
    }
    return buttons;
}();

// The button of that control ID, or null.
const ExportButton* FindExportButton(int buttonId);

}  // namespace kro
