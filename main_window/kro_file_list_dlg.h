// CKroFileListDlg: the program's one window, run modally for the program's
// whole life. Four category columns side by side (Event, Normal, Park, Photo),
// each with a summary line, a group box, a check-box list of recordings and
// "Check All/Un" and save buttons, placed in fixed pixels.
#pragma once

#include <windows.h>

#include <cstdint>

#include "device/kro_library.h"
#include "ui/dialog.h"
#include "ui/list_view.h"
#include "ui/owned_handle.h"
#include "ui/window.h"

namespace kro {

class CKroFileListDlg : public ui::Dialog {
public:
    CKroFileListDlg();

protected:
    bool OnInitDialog() override;
    void OnTimer(UINT_PTR timerId) override;
    bool OnPaint() override;
    HCURSOR OnQueryDragIcon() override;
    bool OnSysCommand(UINT command, LPARAM lParam) override;
    void OnDestroy() override;

private:
    // Binds the member views to their controls by ID.
    void DoDataExchange();
    // Puts "KroFileList 정보(&A)..." on the system menu; it opens the About box.
    void AddAboutToSystemMenu();
    // Loads the device library and starts the poller (device access).
    void StartDeviceAccess();
    // Places, labels and styles every control.
    void LayoutControls();
    void PlaceColumn(int column);
    void PrepareList(int column);

    // Control handlers, routed by the message table built in the constructor.
    void OnReloadClicked();
    void OnRClickEventList(const NMHDR& header, LRESULT& result);
    void OnRClickNormalList(const NMHDR& header, LRESULT& result);
    void OnRClickParkList(const NMHDR& header, LRESULT& result);
    void OnRClickPhotoList(const NMHDR& header, LRESULT& result);
    void OnSaveEvent();
    void OnSaveNormal();
    void OnSavePark();
    void OnSavePhoto();
    void OnBackupEvent();
    void OnBackupNormal();
    void OnBackupPark();
    void OnBackupPhoto();
    void OnDblClkList(const NMHDR& header, LRESULT& result);
    void OnCheckAllEvent();
    void OnCheckAllNormal();
    void OnCheckAllPark();
    void OnCheckAllPhoto();

    ui::ListView& List(int column);

    // Members in the order of construction; they end in reverse order.
    HICON m_appIcon;  // shared icon resource, never destroyed
    std::uint8_t m_backupMode = 0;
    KroLibrary m_deviceLibrary;
    // The device poller m_poller (CSchedule) and m_reportedDeviceValue
    // (std::int8_t) take their places here, after the library, so that the
    // poller stops before the library is closed.
    std::uint8_t m_awaitingCard = 0;
    std::uint8_t m_allChecked[4] = {};

    // Owned beside the controls and declared before them, so both are
    // released after the lists that use them.
    ui::Font labelFont;
    ui::ImageList rowHeightImages;

    ui::Button m_reloadButton;
    ui::Static m_eventBox;
    ui::Static m_normalBox;
    ui::Static m_parkBox;
    ui::Static m_photoBox;
    ui::ListView m_eventList;
    ui::ListView m_normalList;
    ui::ListView m_photoList;
    ui::ListView m_parkList;
    ui::Button m_saveEventButton;
    ui::Button m_saveNormalButton;
    ui::Button m_savePhotoButton;
    ui::Button m_saveParkButton;
    ui::Button m_backupEventButton;
    ui::Button m_backupNormalButton;
    ui::Button m_backupParkButton;
    ui::Button m_backupPhotoButton;
    ui::Static m_eventSummary;
    ui::Static m_normalSummary;
    ui::Static m_parkSummary;
    ui::Static m_photoSummary;
};

}  // namespace kro
