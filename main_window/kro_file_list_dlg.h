// CKroFileListDlg: the program's one window, run modally for the program's
// whole life. Four category columns side by side (Event, Normal, Park, Photo),
// each with a summary line, a group box, a check-box list of recordings and
// "Check All/Un" and save buttons, placed in fixed pixels.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "device/clock.h"
#include "device/kro_library.h"
#include "device/schedule.h"
#include "host_proxy/hosted_library.h"
#include "main_window/card_watch.h"
#include "main_window/layout.h"
#include "recording_lists/list_load_thread.h"
#include "recording_lists/recording_list_loader.h"
#include "ui/dialog.h"
#include "ui/list_view.h"
#include "ui/window.h"
#include "win32/owned_handle.h"

namespace kro {

class CKroFileListDlg : public ui::Dialog {
public:
    CKroFileListDlg();

    // False when, at the end of the run, a thread was still inside the
    // device library: the library then stays loaded, and the dialog (which
    // owns it and the threads' state) must not be destroyed; the process
    // ends without it.
    bool DeviceAccessEnded() const { return deviceAccessEnded_; }

protected:
    bool OnInitDialog() override;
    void OnTimer(UINT_PTR timerId) override;
    bool OnPaint() override;
    HCURSOR OnQueryDragIcon() override;
    bool OnSysCommand(UINT command, LPARAM lParam) override;
    void OnDestroy() override;
    bool OnAppMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    // Binds the member views to their controls by ID.
    void DoDataExchange();
    // Puts "KroFileList 정보(&A)..." on the system menu; it opens the About box.
    void AddAboutToSystemMenu();
    // Loads the device library and starts the poller (device access). The
    // library's host starts on a thread of its own, so the window shows
    // without waiting for it; FinishDeviceStart takes the outcome.
    void StartDeviceAccess();
    // Once the start-up thread has ended: the "KROLib failed..." box, or the
    // poller. Nothing before that, or a second time.
    void FinishDeviceStart();
    // Has the start-up thread's library back, ending a host that is still
    // starting; false when the thread did not end.
    bool EndDeviceStart();
    // The poller's report, on the poller thread: keeps the device value.
    static void OnCardReport(const LocalTime* time, std::uint8_t deviceValue, void* userData);
    // Stops the loads and the poller, then closes the library, unless a
    // thread is still inside it.
    void StopDeviceAccess();
    // Places, labels and styles every control.
    void LayoutControls();
    void PlaceColumn(int column);
    void PrepareList(int column);

    // Card watch: the poller's device value read as signed.
    std::int8_t DeviceValue() const;
    void Perform(const std::vector<CardWatchAction>& actions);
    void EmptyLists();
    void StartListLoading();
    void ResetSummaryTexts();
    void UpdateTitle();
    // Shows a load's formatted summary line in its category's static.
    void ShowCategorySummary(const CategorySummary& summary);

    // The list controls' and buttons' handlers, routed by category from the
    // column table in the constructor.
    void OnReloadClicked();
    // The right click's row (NMITEMACTIVATE) of a list; nothing below the rows.
    void OnRClickList(RecordingCategory category, const NMHDR& header, LRESULT& result);
    void OnDblClkList(const NMHDR& header, LRESULT& result);
    void ShowRecordingInfoMenu(RecordingCategory category, const std::string& name);
    void ToggleCheckAll(RecordingCategory category);
    // The ticked rows of the category's list as a save or backup request
    // (ExportButtonFor).
    void RequestExport(RecordingCategory category, bool backup);

    const ui::ListView& List(int column) const { return m_columns[column].list; }
    const ui::Static& Summary(int column) const { return m_columns[column].summary; }

    // Members in the order of construction; they end in reverse order.
    HICON m_appIcon;  // shared icon resource, never destroyed
    std::uint8_t m_backupMode = 0;
    HostedLibrary m_deviceLibrary;
    // Loads m_deviceLibrary at start-up, while nothing else calls it.
    std::thread m_libraryStart;
    std::atomic<bool> m_libraryStartEnded{false};
    std::atomic<bool> m_libraryLoaded{false};
    // After the library: the poller stops before the library is closed.
    CSchedule m_poller;
    // Written by the poller thread; nothing reads it.
    std::atomic<std::int8_t> m_reportedDeviceValue{0};
    // Holds the awaiting-card flag; reset to awaiting by OnInitDialog.
    CardWatch m_cardWatch;
    std::uint8_t m_allChecked[4] = {};
    // The list loads; after the library, so they end before it is closed.
    ListLoadThread m_listLoads;
    bool deviceAccessEnded_ = true;
    bool deviceStartFinished_ = false;

    // Owned beside the controls and declared before them, so both are
    // released after the lists that use them.
    win32::Font labelFont;
    win32::ImageList rowHeightImages;

    ui::Button m_reloadButton;
    // One column's views, bound by the column table's IDs.
    struct ColumnViews {
        ui::Static summary;
        ui::Static groupBox;
        ui::ListView list;
        ui::Button checkAll;
        ui::Button save;
        ui::Button backup;
    };
    ColumnViews m_columns[layout::kColumnCount];
};

}  // namespace kro
