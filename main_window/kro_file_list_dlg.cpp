#include "main_window/kro_file_list_dlg.h"

#include <string>

#include "host_proxy/library_host_process.h"
#include "device/module_loader.h"
#include "device/text_sink.h"
#include "main_window/about_dlg.h"
#include "main_window/column_table.h"
#include "main_window/layout.h"
#include "resources/resource.h"
#include "ui/program_resources.h"

namespace kro {

namespace {

constexpr UINT_PTR kCardWatchTimer = 0;
constexpr UINT kCardWatchPeriodMs = 500;
// The low four bits of a system command are used by the system.
constexpr UINT kSystemCommandMask = 0xFFF0;

}  // namespace

CKroFileListDlg::CKroFileListDlg()
    : Dialog(IDD_KROFILELIST_DIALOG),
      m_appIcon(ui::LoadProgramIcon(IDR_MAINFRAME)),
      // The device library runs in a host process of its own, started from
      // this program's folder.
      m_deviceLibrary(SystemLibraryHostLauncher(), ExecutableFolder(SystemModuleLoader()), DiagnosticOutput()),
      m_poller(SystemClock(), SystemThreadPriority()) {
    // Each column's controls act on that column's category.
    MapCommand(IDC_RELOAD, BN_CLICKED, [this] { OnReloadClicked(); });
    for (const Column& c : kColumns) {
        const RecordingCategory category = c.category;
        MapNotify(c.list, NM_RCLICK,
                  [this, category](const NMHDR& h, LRESULT& r) { OnRClickList(category, h, r); });
        MapNotify(c.list, NM_DBLCLK, [this](const NMHDR& h, LRESULT& r) { OnDblClkList(h, r); });
        MapCommand(c.save, BN_CLICKED, [this, category] { RequestExport(category, /*backup=*/false); });
        MapCommand(c.backup, BN_CLICKED, [this, category] { RequestExport(category, /*backup=*/true); });
        MapCommand(c.checkAll, BN_CLICKED, [this, category] { ToggleCheckAll(category); });
    }
}

void CKroFileListDlg::DoDataExchange() {
    Bind(m_reloadButton, IDC_RELOAD);
    for (int column = 0; column < layout::kColumnCount; ++column) {
        const Column& ids = kColumns[column];
        ColumnViews& views = m_columns[column];
        Bind(views.summary, ids.summary);
        Bind(views.groupBox, ids.groupBox);
        Bind(views.list, ids.list);
        Bind(views.checkAll, ids.checkAll);
        Bind(views.save, ids.save);
        Bind(views.backup, ids.backup);
    }
}

bool CKroFileListDlg::OnInitDialog() {
    DoDataExchange();
    AddAboutToSystemMenu();
    SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_appIcon));
    SendMessageW(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_appIcon));
    StartDeviceAccess();
    LayoutControls();
    m_cardWatch = CardWatch();  // awaiting a card
    // Without the tick no card is ever noticed; the window still works.
    if (SetTimer(Handle(), kCardWatchTimer, kCardWatchPeriodMs, nullptr) == 0)
        ReportLastError("SetTimer (card watch)");
    return true;  // the focus goes to the first tab stop, save button 1000
}

void CKroFileListDlg::AddAboutToSystemMenu() {
    HMENU systemMenu = GetSystemMenu(Handle(), FALSE);
    const std::wstring text = ui::LoadText(IDS_ABOUTBOX);
    if (systemMenu == nullptr || text.empty()) return;
    AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, text.c_str());
}

bool CKroFileListDlg::OnSysCommand(UINT command, LPARAM) {
    if ((command & kSystemCommandMask) != IDM_ABOUTBOX) return false;
    CAboutDlg about;
    about.RunModal(Handle());
    return true;
}

bool CKroFileListDlg::OnPaint() {
    if (!IsIconic(Handle())) return false;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(Handle(), &paint);
    SendMessageW(Handle(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(Handle(), &client);
    const layout::PixelPoint origin =
        layout::CentredIconOrigin(client.right - client.left, client.bottom - client.top,
                                  GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
    DrawIcon(dc, origin.x, origin.y, m_appIcon);
    EndPaint(Handle(), &paint);
    return true;
}

HCURSOR CKroFileListDlg::OnQueryDragIcon() {
    return static_cast<HCURSOR>(m_appIcon);
}

void CKroFileListDlg::OnDestroy() {
    KillTimer(Handle(), kCardWatchTimer);
    StopDeviceAccess();
    // The lists have no shared-image-list style, so each would destroy its
    // small-image list when it goes, and all four share rowHeightImages.
    // Taking it back first leaves it to its one owner.
    for (int column = 0; column < layout::kColumnCount; ++column) {
        List(column).SetImageList(nullptr, LVSIL_SMALL);
    }
}

}  // namespace kro
