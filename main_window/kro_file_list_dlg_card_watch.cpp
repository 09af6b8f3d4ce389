// The card watch of the main dialog: the 500 ms tick and the Reload button
// follow the poller's device value through CardWatch; list loads run on
// their own threads, and their rows arrive here as posted batches that go
// into the lists a slice at a time.
#include <cstring>
#include <string>

#include "device/card_drive.h"
#include "main_window/kro_file_list_dlg.h"
#include "recording_lists/recording_texts.h"
#include "recording_lists/row_batch.h"
#include "ui/app_messages.h"

namespace kro {
namespace {

// Told when the device library could not read the card it was given (its
// host crashed or hung on two tries).
constexpr wchar_t kCardUnreadableCaption[] = L"KroFileList";
constexpr wchar_t kCardUnreadableText[] =
    L"The device library could not read this card.\n\nTake the card out and put it in again to try once more.";

// Whether the window shows exactly this ANSI text already. Without a card
// the tick repeats the emptying, the zero lines and the title twice a
// second; setting what is already shown would repaint it each time.
bool ShowsTextA(HWND window, const char* text) {
    const int length = GetWindowTextLengthA(window);
    if (length != static_cast<int>(std::strlen(text))) return false;
    std::string current(static_cast<std::size_t>(length) + 1, '\0');
    GetWindowTextA(window, current.data(), length + 1);
    current.resize(static_cast<std::size_t>(length));
    return current == text;
}

}  // namespace

std::int8_t CKroFileListDlg::DeviceValue() const {
    return static_cast<std::int8_t>(m_poller.deviceValue.load());
}

void CKroFileListDlg::OnTimer(UINT_PTR) {
    FinishDeviceStart();
    Perform(m_cardWatch.OnTick(DeviceValue()));
}

void CKroFileListDlg::OnReloadClicked() {
    Perform(m_cardWatch.OnReload(DeviceValue()));
}

void CKroFileListDlg::Perform(const std::vector<CardWatchAction>& actions) {
    for (CardWatchAction action : actions) {
        switch (action) {
            case CardWatchAction::HideReload:
                m_reloadButton.Show(false);
                break;
            case CardWatchAction::EmptyLists:
                EmptyLists();
                break;
            case CardWatchAction::StartLoad:
                StartListLoading();
                break;
            case CardWatchAction::ResetSummaryTexts:
                ResetSummaryTexts();
                break;
            case CardWatchAction::UpdateTitle:
                UpdateTitle();
                break;
            case CardWatchAction::ShowNoCardError:
                MessageBoxW(Handle(), kNoCardErrorText, kNoCardErrorCaption, 0);
                break;
        }
    }
}

void CKroFileListDlg::EmptyLists() {
    // Rows that a running load has still to deliver would belong to lists
    // emptied since; that load is abandoned with them.
    m_listLoads.Abandon();
    // An empty list is left alone: emptying it again would only repaint it.
    for (RecordingCategory category : kListEmptyingOrder) {
        const ui::ListView& list = List(CategoryIndex(category));
        if (list.ItemCount() > 0) list.DeleteAllItems();
    }
}

void CKroFileListDlg::StartListLoading() {
    // When no thread can be started the lists stay empty.
    m_listLoads.Start(m_deviceLibrary, Handle());
}

void CKroFileListDlg::ResetSummaryTexts() {
    for (RecordingCategory category : kAllCategories) {
        const bool photo = category == RecordingCategory::Photo;
        const char* text = photo ? kZeroPhotoSummaryText : kZeroVideoSummaryText;
        const ui::Static& summary = Summary(CategoryIndex(category));
        if (!ShowsTextA(summary.Handle(), text)) summary.SetTextA(text);
    }
}

void CKroFileListDlg::UpdateTitle() {
    const std::int8_t value = DeviceValue();
    const std::string root =
        value != 0 ? FindCardDrive(value, SystemDiskQueries(), DiagnosticOutput()) : std::string();
    const std::string title = FormatWindowTitle(value != 0, root);
    if (!ShowsTextA(Handle(), title.c_str())) SetWindowTextA(Handle(), title.c_str());
}

void CKroFileListDlg::ShowCategorySummary(const CategorySummary& summary) {
    Summary(CategoryIndex(summary.category)).SetTextA(summary.text.c_str());
}

bool CKroFileListDlg::OnAppMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case ui::kRowBatchMessage:
            // Only the current load's batches are queued; others are freed.
            m_listLoads.Queue(wParam, lParam);
            break;
        case ui::kRowsPendingMessage:
            m_listLoads.WakeUpArrived();
            break;
        case ui::kLibraryStartedMessage:
            FinishDeviceStart();
            result = 0;
            return true;
        case ui::kCardUnreadableMessage:
            // Said once per card: the next load (a card put in again)
            // gets a fresh try. The lists stay empty meanwhile.
            if (m_listLoads.IsCurrent(wParam)) MessageBoxW(Handle(), kCardUnreadableText, kCardUnreadableCaption, 0);
            result = 0;
            return true;
        default:
            return false;
    }
    // Queued rows go in a slice at a time, other messages served between.
    const CategoryLists lists = {&List(0), &List(1), &List(2), &List(3)};
    for (const CategorySummary& summary : m_listLoads.DrainRows(Handle(), lists, kRowInsertSlice)) {
        ShowCategorySummary(summary);
    }
    result = 0;
    return true;
}

}  // namespace kro
