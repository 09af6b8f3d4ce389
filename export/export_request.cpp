#include "export/export_request.h"

#include <iterator>

namespace kro {
namespace {

// The save buttons, by category index.
constexpr ExportButton kSaveButtons[kCategoryCount] = {
    {RecordingCategory::Event, kEventExportKind, false, "event \n", L"Check a file in the Event list!!"},
    {RecordingCategory::Normal, kNormalExportKind, false, "normal \n", L"Check a file in the Normal list!!"},
    {RecordingCategory::Park, kParkExportKind, false, "park \n", L"Check a file in the Park list!!"},
    {RecordingCategory::Photo, kPhotoExportKind, false, "manual \n", L"Check a file in the Photo list!!"},
};

}  // namespace

ExportButton ExportButtonFor(RecordingCategory category, bool backup) {
    if (backup) return {category, kBackupExportKind, true, nullptr, kBackupRefusalText};
    const auto index = static_cast<std::size_t>(CategoryIndex(category));
    // No list has another category; a value outside the four is read as
    // Normal's, the plain AVI save, rather than outside the table.
    if (index >= std::size(kSaveButtons)) return kSaveButtons[CategoryIndex(RecordingCategory::Normal)];
    return kSaveButtons[index];
}

ExportRequest BuildExportRequest(const ExportButton& button, const ExportRowSource& rows, TextSink& trace) {
    ExportRequest request;
    request.backup = button.backup;
    request.exportKind = button.exportKind;
    if (button.traceLine != nullptr) trace.Write(button.traceLine);
    const std::int32_t rowCount = rows.RowCount();
    for (std::int32_t row = 0; row < rowCount; ++row) {
        if (rows.IsChecked(row)) request.selection.push_back(rows.Name(row));
    }
    return request;
}

}  // namespace kro
