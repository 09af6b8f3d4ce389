// The export request behind the save and backup buttons under each list:
// what a save or a backup of one category asks for (its ExportKind, its
// trace line, its refusal text), and the selection of ticked names.
// Portable; the Win32 side shows the refusal box or runs the progress
// dialog with the request.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "device/text_sink.h"
#include "recording_lists/recording_types.h"

namespace kro {

// ExportKind codes of the save buttons; only Photo's changes what is produced.
inline constexpr std::int32_t kNormalExportKind = 0;
inline constexpr std::int32_t kEventExportKind = 1;
inline constexpr std::int32_t kParkExportKind = 2;
inline constexpr std::int32_t kPhotoExportKind = 3;
// The kind of every backup request. It is not Photo's, so every backup, the
// Photo list's included, produces a backup file in the device's own format.
inline constexpr std::int32_t kBackupExportKind = -1;

// What the save or the backup button of one category's list asks for.
struct ExportButton {
    RecordingCategory category;  // the list whose ticked rows are exported
    std::int32_t exportKind;
    bool backup;                 // the value m_backupMode takes
    const char* traceLine;       // printed by save buttons; null for backups
    const wchar_t* refusalText;  // shown when no row of the list is ticked
};

inline constexpr const wchar_t* kExportRefusalCaption = L"Error";

inline constexpr const wchar_t* kBackupRefusalText = L"KRO파일로 변환할 KRO영상을 선택하세요!!";

// The save (backup false) or backup button of that category's list.
ExportButton ExportButtonFor(RecordingCategory category, bool backup);

// Read access to one list's rows (a list view on the Win32 side).
class ExportRowSource {
public:
    virtual ~ExportRowSource() = default;
    virtual std::int32_t RowCount() const = 0;
    virtual bool IsChecked(std::int32_t row) const = 0;
    // The row's column 1 text: the recording's name.
    virtual std::string Name(std::int32_t row) const = 0;
};

struct ExportRequest {
    std::int32_t exportKind = 0;
    bool backup = false;
    std::vector<std::string> selection;  // ticked names, top row first
};

// Writes a save button's trace line, then reads the row count once and
// collects the ticked rows' names in row order. An empty selection means the
// request is refused: show the button's refusal text and start nothing.
ExportRequest BuildExportRequest(const ExportButton& button, const ExportRowSource& rows, TextSink& trace);

}  // namespace kro
