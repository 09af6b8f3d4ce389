// CKroFileListDlg::LayoutControls: fixed pixel places, texts, fonts, list
// styles and columns of the main dialog.
#include <windows.h>

#include <commctrl.h>

#include <iterator>

#include "device/text_sink.h"
#include "main_window/column_table.h"
#include "main_window/kro_file_list_dlg.h"
#include "main_window/layout.h"
#include "win32/owned_handle.h"

namespace kro {

namespace {

constexpr wchar_t kCheckAllText[] = L"Check All/Un";

// The rows' image list only lifts the row height to 14 pixels.
constexpr int kRowImageWidth = 1;
constexpr int kRowImageHeight = 14;

void MoveTo(const ui::Window& window, const layout::PixelRect& rect) {
    window.Move(rect.x, rect.y, rect.width, rect.height, true);
}

// The screen's vertical DPI; 96 when its device context cannot be had.
int ScreenVerticalDpi() {
    const win32::ScreenDc screen(GetDC(nullptr));
    return screen ? GetDeviceCaps(screen.Get(), LOGPIXELSY) : 96;
}

}  // namespace

void CKroFileListDlg::LayoutControls() {
    labelFont.Reset(CreateFontW(layout::LabelFontHeight(ScreenVerticalDpi()), 0, 0, 0, FW_DONTCARE, FALSE,
                                FALSE, FALSE, HANGEUL_CHARSET, OUT_STROKE_PRECIS, CLIP_STROKE_PRECIS,
                                DRAFT_QUALITY, FF_MODERN | VARIABLE_PITCH, kListFontFace));
    // Without it the labels and lists keep the dialog's font.
    if (!labelFont) ReportLastError("CreateFontW");

    const layout::PixelRect dialog = layout::DialogRect();
    MoveWindow(Handle(), dialog.x, dialog.y, dialog.width, dialog.height, TRUE);

    ResetSummaryTexts();
    for (int column = 0; column < layout::kColumnCount; ++column) {
        const ColumnViews& views = m_columns[column];
        views.save.SetText(kColumns[column].saveText);
        views.checkAll.SetText(kCheckAllText);
        views.groupBox.SetText(kColumns[column].groupText);
    }

    for (int column = 0; column < layout::kColumnCount; ++column) {
        const ui::Static& summary = m_columns[column].summary;
        summary.SetFont(labelFont.Get());
        MoveTo(summary, layout::SummaryRect(column));
    }

    MoveTo(m_reloadButton, layout::ReloadRect());
    m_reloadButton.Show(false);

    for (int column = 0; column < layout::kColumnCount; ++column) {
        const ui::Static& groupBox = m_columns[column].groupBox;
        MoveTo(groupBox, layout::GroupBoxRect(column));
        groupBox.SetFont(labelFont.Get());
    }

    for (int column = 0; column < layout::kColumnCount; ++column) PlaceColumn(column);
    m_reloadButton.Show(false);

    rowHeightImages.Reset(ImageList_Create(kRowImageWidth, kRowImageHeight, ILC_COLORDDB, 1, 0));
    // Without it the rows keep the font's height.
    if (!rowHeightImages) ReportLastError("ImageList_Create");
    for (int column = 0; column < layout::kColumnCount; ++column) PrepareList(column);
}

void CKroFileListDlg::PlaceColumn(int column) {
    const ColumnViews& views = m_columns[column];
    MoveTo(views.list, layout::ListRect(column));
    MoveTo(views.save, layout::SaveRect(column));
    MoveTo(views.checkAll, layout::CheckAllRect(column));
    MoveTo(views.backup, layout::BackupRect(column));
    views.backup.Show(false);
}

void CKroFileListDlg::PrepareList(int column) {
    const ui::ListView& list = List(column);
    list.SetExtendedStyle(kListExtendedStyle);
    list.SetFont(labelFont.Get());
    list.SetImageList(rowHeightImages.Get(), LVSIL_SMALL);
    const int columns =
        column == kPhotoColumn ? kPhotoListColumns : static_cast<int>(std::size(kListColumns));
    for (int index = 0; index < columns; ++index) {
        list.InsertColumn(index, kListColumns[index].heading, kListColumns[index].width);
    }
    list.SetRedraw(false);
    list.SetRedraw(true);
    list.DeleteAllItems();
}

}  // namespace kro
