#include "main_window/kro_file_list_dlg.h"

#include <string>

#include "device/text_sink.h"
#include "main_window/about_dlg.h"
#include "main_window/column_controls.h"
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
      m_deviceLibrary(SystemModuleLoader()),
      m_poller(SystemClock(), SystemThreadPriority()) {
    MapCommand(IDC_RELOAD, BN_CLICKED, [this] { OnReloadClicked(); });
    MapNotify(IDC_EVENT_LIST, NM_RCLICK, [this](const NMHDR& h, LRESULT& r) { OnRClickEventList(h, r); });
    MapNotify(IDC_NORMAL_LIST, NM_RCLICK, [this](const NMHDR& h, LRESULT& r) { OnRClickNormalList(h, r); });
    MapNotify(IDC_PARK_LIST, NM_RCLICK, [this](const NMHDR& h, LRESULT& r) { OnRClickParkList(h, r); });
    MapNotify(IDC_PHOTO_LIST, NM_RCLICK, [this](const NMHDR& h, LRESULT& r) { OnRClickPhotoList(h, r); });
    MapCommand(IDC_SAVE_EVENT, BN_CLICKED, [this] { OnSaveEvent(); });
    MapCommand(IDC_SAVE_NORMAL, BN_CLICKED, [this] { OnSaveNormal(); });
    MapCommand(IDC_SAVE_PARK, BN_CLICKED, [this] { OnSavePark(); });
    MapCommand(IDC_SAVE_PHOTO, BN_CLICKED, [this] { OnSavePhoto(); });
    MapCommand(IDC_BACKUP_EVENT, BN_CLICKED, [this] { OnBackupEvent(); });
    MapCommand(IDC_BACKUP_NORMAL, BN_CLICKED, [this] { OnBackupNormal(); });
    MapCommand(IDC_BACKUP_PARK, BN_CLICKED, [this] { OnBackupPark(); });
    MapCommand(IDC_BACKUP_PHOTO, BN_CLICKED, [this] { OnBackupPhoto(); });
    for (const ColumnControls& column : kColumnControls) {
        MapNotify(column.list, NM_DBLCLK, [this](const NMHDR& h, LRESULT& r) { OnDblClkList(h, r); });
    }
    MapCommand(IDC_CHECK_ALL_EVENT, BN_CLICKED, [this] { OnCheckAllEvent(); });
    MapCommand(IDC_CHECK_ALL_NORMAL, BN_CLICKED, [this] { OnCheckAllNormal(); });
    MapCommand(IDC_CHECK_ALL_PARK, BN_CLICKED, [this] { OnCheckAllPark(); });
    MapCommand(IDC_CHECK_ALL_PHOTO, BN_CLICKED, [this] { OnCheckAllPhoto(); });
}

void CKroFileListDlg::DoDataExchange() {
    Bind(m_reloadButton, IDC_RELOAD);
    Bind(m_eventBox, IDC_EVENT_BOX);
    Bind(m_normalBox, IDC_NORMAL_BOX);
    Bind(m_parkBox, IDC_PARK_BOX);
    Bind(m_photoBox, IDC_PHOTO_BOX);
    Bind(m_eventList, IDC_EVENT_LIST);
    Bind(m_normalList, IDC_NORMAL_LIST);
    Bind(m_parkList, IDC_PARK_LIST);
    Bind(m_photoList, IDC_PHOTO_LIST);
    Bind(m_saveEventButton, IDC_SAVE_EVENT);
    Bind(m_saveNormalButton, IDC_SAVE_NORMAL);
    Bind(m_saveParkButton, IDC_SAVE_PARK);
    Bind(m_savePhotoButton, IDC_SAVE_PHOTO);
    Bind(m_backupEventButton, IDC_BACKUP_EVENT);
    Bind(m_backupNormalButton, IDC_BACKUP_NORMAL);
    Bind(m_backupParkButton, IDC_BACKUP_PARK);
    Bind(m_backupPhotoButton, IDC_BACKUP_PHOTO);
    Bind(m_eventSummary, IDC_EVENT_SUMMARY);
    Bind(m_normalSummary, IDC_NORMAL_SUMMARY);
    Bind(m_parkSummary, IDC_PARK_SUMMARY);
    Bind(m_photoSummary, IDC_PHOTO_SUMMARY);
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

ui::ListView& CKroFileListDlg::List(int column) {
    ui::ListView* lists[layout::kColumnCount] = {&m_eventList, &m_normalList, &m_parkList, &m_photoList};
    return *lists[column];
}

ui::Static& CKroFileListDlg::Summary(int column) {
    ui::Static* summaries[layout::kColumnCount] = {&m_eventSummary, &m_normalSummary, &m_parkSummary,
                                                   &m_photoSummary};
    return *summaries[column];
}

}  // namespace kro
