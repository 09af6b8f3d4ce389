#include "export/export_request.h"

namespace kro {

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
