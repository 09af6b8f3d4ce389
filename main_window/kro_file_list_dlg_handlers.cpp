// Handlers of the main dialog's lists and buttons: the info popup, check-all
// and the export requests.
#include <memory>

#include "export/avi_progress.h"
#include "export/export_request.h"
#include "main_window/kro_file_list_dlg.h"
#include "recording_lists/check_all.h"
#include "recording_lists/recording_info_menu.h"

namespace kro {

namespace {

// An export request's view of one list's rows.
class ListRows final : public ExportRowSource {
public:
    explicit ListRows(const ui::ListView& list) : list_(list) {}
    std::int32_t RowCount() const override { return list_.ItemCount(); }
    bool IsChecked(std::int32_t row) const override { return list_.IsChecked(row); }
    std::string Name(std::int32_t row) const override { return list_.ItemTextA(row, 1); }

private:
    const ui::ListView& list_;
};

}  // namespace

void CKroFileListDlg::OnRClickList(RecordingCategory category, const NMHDR& header, LRESULT& result) {
    const int row = reinterpret_cast<const NMITEMACTIVATE&>(header).iItem;
    if (row < 0) return;  // the click was not on a row
    ShowRecordingInfoMenu(category, List(CategoryIndex(category)).ItemTextA(row, 1));
    result = 0;
}

void CKroFileListDlg::ShowRecordingInfoMenu(RecordingCategory category, const std::string& name) {
    kro::ShowRecordingInfoMenu(Handle(), m_deviceLibrary, category, name);
}

// A double click has no effect beyond the list's own behaviour.
void CKroFileListDlg::OnDblClkList(const NMHDR&, LRESULT& result) {
    result = 0;
}

void CKroFileListDlg::ToggleCheckAll(RecordingCategory category) {
    const int index = CategoryIndex(category);
    const ui::ListView& list = List(index);
    kro::ToggleCheckAll(m_allChecked[index], list.ItemCount(),
                        [&list](std::int32_t row, bool checked) { list.SetChecked(row, checked); });
}

void CKroFileListDlg::RequestExport(RecordingCategory category, bool backup) {
    const ExportButton button = ExportButtonFor(category, backup);
    m_backupMode = button.backup ? 1 : 0;
    auto progress = std::make_unique<AVIProgress>(m_backupMode != 0);
    progress->m_library = &m_deviceLibrary;

    ExportRequest request =
        BuildExportRequest(button, ListRows(List(CategoryIndex(category))), DiagnosticOutput());
    if (request.selection.empty()) {
        MessageBoxW(Handle(), button.refusalText, kExportRefusalCaption, 0);
        return;
    }
    // A backup's kind is kBackupExportKind, never the picture kind.
    progress->m_exportKind = request.exportKind;
    progress->m_selection = std::move(request.selection);
    // Returns when the worker has finished (ticks stay as they were; a
    // hosted library that stopped answering is stopped with the export), or
    // when the user chose to end the program because the library stopped
    // answering and could not be stopped (in-process, or the worker stayed
    // stuck after the stop). The worker is then still inside and uses the
    // dialog object, which is left to the process's end; the window closes
    // as the close box would, and device access ends as safely as it can.
    if (progress->RunModal(Handle()) == kExportAbandoned) {
        static_cast<void>(progress.release());
        PostMessageW(Handle(), WM_CLOSE, 0, 0);
    }
}

}  // namespace kro
