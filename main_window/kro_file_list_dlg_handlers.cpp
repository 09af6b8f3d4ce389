// Handlers of the main dialog's controls and timer. They are wired in the
// message table; the ones that are still empty are served by the card watch,
// the info popup, the export request and check-all as those are built.
#include "main_window/kro_file_list_dlg.h"

namespace kro {

void CKroFileListDlg::StartDeviceAccess() {}

void CKroFileListDlg::OnTimer(UINT_PTR) {}

void CKroFileListDlg::OnReloadClicked() {}

void CKroFileListDlg::OnRClickEventList(const NMHDR&, LRESULT&) {}
void CKroFileListDlg::OnRClickNormalList(const NMHDR&, LRESULT&) {}
void CKroFileListDlg::OnRClickParkList(const NMHDR&, LRESULT&) {}
void CKroFileListDlg::OnRClickPhotoList(const NMHDR&, LRESULT&) {}

void CKroFileListDlg::OnSaveEvent() {}
void CKroFileListDlg::OnSaveNormal() {}
void CKroFileListDlg::OnSavePark() {}
void CKroFileListDlg::OnSavePhoto() {}

void CKroFileListDlg::OnBackupEvent() {}
void CKroFileListDlg::OnBackupNormal() {}
void CKroFileListDlg::OnBackupPark() {}
void CKroFileListDlg::OnBackupPhoto() {}

// A double click has no effect beyond the list's own behaviour.
void CKroFileListDlg::OnDblClkList(const NMHDR&, LRESULT& result) {
    result = 0;
}

void CKroFileListDlg::OnCheckAllEvent() {}
void CKroFileListDlg::OnCheckAllNormal() {}
void CKroFileListDlg::OnCheckAllPark() {}
void CKroFileListDlg::OnCheckAllPhoto() {}

}  // namespace kro
