// Baseline programs the driver can become: a minimal dialog (the start-up
// floor of old), the program's own window without its logic (the start-up
// floor), and bare list views filled with the card's rows by plain list-view
// messages (the memory floor).
#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "bench/program/scenarios.h"
#include "device/in_process_library.h"
#include "device/kro_library.h"
#include "main_window/column_table.h"
#include "main_window/layout.h"
#include "recording_lists/recording_list_loader.h"
#include "resources/window_class.h"

namespace kro::bench {
namespace {

// With the design's timers (lParam 1 at WM_INITDIALOG), the dialog also
// wakes as the program must at the least: a window timer every 500 ms and a
// thread every second, doing nothing else (the idle floor).
INT_PTR CALLBACK MinimalDialogProc(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
    if (message == WM_CLOSE) {
        EndDialog(dialog, 0);
        return TRUE;
    }
    if (message == WM_INITDIALOG && lParam == 1) {
        SetTimer(dialog, 1, 500, nullptr);
        CloseHandle(CreateThread(
            nullptr, 0,
            [](void*) -> DWORD {
                for (;;) Sleep(1000);
            },
            nullptr, 0, nullptr));
    }
    return message == WM_INITDIALOG || message == WM_TIMER;
}

// Tells the measuring script the program has reached a state, then waits
// until the script has measured it (it then creates or removes the file).
void ReachState(const char* state, const std::wstring& signal, bool waitForFile) {
    std::printf("%s\n", state);
    std::fflush(stdout);
    for (int i = 0; i < 6000; ++i) {
        const bool exists = GetFileAttributesW(signal.c_str()) != INVALID_FILE_ATTRIBUTES;
        if (exists == waitForFile) return;
        Sleep(10);
    }
}

class CollectingSink final : public RecordingListSink {
public:
    void AddRow(RecordingRow row) override { rows.push_back(std::move(row)); }
    void ShowSummary(CategorySummary) override {}
    std::vector<RecordingRow> rows;
};

void SetText(HWND list, int item, int column, const char* text) {
    LVITEMA cell = {};
    cell.iSubItem = column;
    cell.pszText = const_cast<char*>(text);
    SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&cell));
}

// What the program's window does at its start beyond showing its template
// with the lists' font and columns, one bit each, so that the benchmark can
// price each against the bare template.
struct OwnDialogState {
    unsigned parts = 0;
    HMODULE program = nullptr;
    HFONT font = nullptr;
    HIMAGELIST rowImages = nullptr;
    HICON icon = nullptr;
};

void MoveTo(HWND dialog, int id, const layout::PixelRect& r) {
    if (HWND control = GetDlgItem(dialog, id)) MoveWindow(control, r.x, r.y, r.width, r.height, TRUE);
}

void SetControlFont(HWND dialog, int id, HFONT font) {
    if (HWND control = GetDlgItem(dialog, id))
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

void InitOwnDialog(HWND dialog, OwnDialogState& state) {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    state.font = CreateFontW(layout::LabelFontHeight(dpi), 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE,
                             HANGEUL_CHARSET, OUT_STROKE_PRECIS, CLIP_STROKE_PRECIS, DRAFT_QUALITY,
                             FF_MODERN | VARIABLE_PITCH, kListFontFace);
    if (state.parts & kOwnIcon) {
        SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(state.icon));
        SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(state.icon));
        HMENU menu = GetSystemMenu(dialog, FALSE);
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(menu, MF_STRING, 0x10, L"KroFileList");
    }
    if (state.parts & kOwnLayoutPass) {
        const layout::PixelRect d = layout::DialogRect();
        MoveWindow(dialog, d.x, d.y, d.width, d.height, TRUE);
        MoveTo(dialog, IDC_RELOAD, layout::ReloadRect());
        ShowWindow(GetDlgItem(dialog, IDC_RELOAD), SW_HIDE);
    }
    if (state.parts & kOwnRowImages) state.rowImages = ImageList_Create(1, 14, ILC_COLORDDB, 1, 0);
    for (int c = 0; c < layout::kColumnCount; ++c) {
        const Column& column = kColumns[c];
        for (int id : {column.summary, column.groupBox, column.list}) SetControlFont(dialog, id, state.font);
        if (state.parts & kOwnLayoutPass) {
            SetDlgItemTextW(dialog, column.save, column.saveText);
            SetDlgItemTextW(dialog, column.checkAll, L"Check All/Un");
            SetDlgItemTextW(dialog, column.groupBox, column.groupText);
            SetDlgItemTextW(dialog, column.summary, L"");
            MoveTo(dialog, column.summary, layout::SummaryRect(c));
            MoveTo(dialog, column.groupBox, layout::GroupBoxRect(c));
            MoveTo(dialog, column.list, layout::ListRect(c));
            MoveTo(dialog, column.save, layout::SaveRect(c));
            MoveTo(dialog, column.checkAll, layout::CheckAllRect(c));
            MoveTo(dialog, column.backup, layout::BackupRect(c));
            ShowWindow(GetDlgItem(dialog, column.backup), SW_HIDE);
        }
        HWND list = GetDlgItem(dialog, column.list);
        if (list == nullptr) continue;
        SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, kListExtendedStyle);
        if (state.rowImages)
            SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(state.rowImages));
        const int columns = c == kPhotoColumn ? kPhotoListColumns : static_cast<int>(std::size(kListColumns));
        for (int i = 0; i < columns; ++i) {
            LVCOLUMNW heading = {};
            heading.mask = LVCF_WIDTH | LVCF_TEXT;
            heading.cx = kListColumns[i].width;
            heading.pszText = const_cast<wchar_t*>(kListColumns[i].heading);
            SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&heading));
        }
    }
    if (state.parts & kOwnTimers) {
        SetTimer(dialog, 1, 500, nullptr);
        std::thread([] {
            for (;;) Sleep(1000);
        }).detach();
    }
}

INT_PTR CALLBACK OwnDialogProc(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        InitOwnDialog(dialog, *reinterpret_cast<OwnDialogState*>(lParam));
        return TRUE;
    }
    if (message == WM_CLOSE) {
        EndDialog(dialog, 0);
        return TRUE;
    }
    return message == WM_TIMER;
}

// DLGTEMPLATEEX: the control count follows the version, signature, help ID,
// extended style and style.
constexpr std::size_t kItemCountOffset = 16;

std::vector<DWORD> OwnDialogTemplate(HMODULE program) {
    HRSRC found =
        program ? FindResourceW(program, MAKEINTRESOURCEW(IDD_KROFILELIST_DIALOG), RT_DIALOG) : nullptr;
    HGLOBAL loaded = found ? LoadResource(program, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    const DWORD size = found ? SizeofResource(program, found) : 0;
    if (bytes == nullptr || size < kItemCountOffset + sizeof(WORD)) return {};
    std::vector<DWORD> copy((size + sizeof(DWORD) - 1) / sizeof(DWORD));
    std::memcpy(copy.data(), bytes, size);
    return copy;
}

WORD& ItemCount(std::vector<DWORD>& dialogTemplate) {
    return *reinterpret_cast<WORD*>(reinterpret_cast<char*>(dialogTemplate.data()) + kItemCountOffset);
}

HMODULE ProgramResources(const std::wstring& program) {
    return LoadLibraryExW(program.c_str(), nullptr,
                          LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
}

}  // namespace

int RunMinimalDialog(bool designTimers) {
    // A dialog template in memory: no controls, a caption.
    alignas(4) WORD buffer[64] = {};
    auto* header = reinterpret_cast<DLGTEMPLATE*>(buffer);
    header->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE | DS_CENTER;
    header->cx = 200;
    header->cy = 100;
    WORD* tail = reinterpret_cast<WORD*>(header + 1);
    *tail++ = 0;  // no menu
    *tail++ = 0;  // the standard dialog class
    for (const wchar_t* c = kBenchDialogCaption; *c; ++c) *tail++ = static_cast<WORD>(*c);
    *tail++ = 0;
    return static_cast<int>(DialogBoxIndirectParamW(GetModuleHandleW(nullptr), header, nullptr,
                                                    MinimalDialogProc, designTimers ? 1 : 0));
}

int OwnDialogControlCount(const std::wstring& program) {
    std::vector<DWORD> dialogTemplate = OwnDialogTemplate(ProgramResources(program));
    return dialogTemplate.empty() ? 0 : ItemCount(dialogTemplate);
}

int RunOwnDialog(const std::wstring& program, unsigned parts, int controls) {
    OwnDialogState state;
    state.parts = parts;
    if (parts & kOwnImports) {
        LoadLibraryW(L"advapi32.dll");
        LoadLibraryW(L"bcrypt.dll");
    }
    state.program = ProgramResources(program);
    std::vector<DWORD> dialogTemplate = OwnDialogTemplate(state.program);
    if (dialogTemplate.empty()) return std::fprintf(stderr, "no dialog template in the program\n"), 1;
    // The controls are in tab order; a sweep shows the first `controls`.
    WORD& itemCount = ItemCount(dialogTemplate);
    if (controls >= 0 && controls < itemCount) itemCount = static_cast<WORD>(controls);
    if (parts & kOwnIcon)
        state.icon = static_cast<HICON>(LoadImageW(state.program, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                                   0, 0, LR_DEFAULTSIZE | LR_SHARED));

    HINSTANCE self = GetModuleHandleW(nullptr);
    WNDCLASSW dialogClass = {};
    GetClassInfoW(nullptr, MAKEINTRESOURCEW(0x8002), &dialogClass);
    dialogClass.lpszClassName = kMainWindowClass;
    dialogClass.hInstance = self;
    RegisterClassW(&dialogClass);
    INITCOMMONCONTROLSEX common = {sizeof common, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&common);
    return static_cast<int>(
        DialogBoxIndirectParamW(self, reinterpret_cast<DLGTEMPLATE*>(dialogTemplate.data()), nullptr,
                                OwnDialogProc, reinterpret_cast<LPARAM>(&state)));
}

int RunBareLists(const std::wstring& signal) {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    InProcessLibrary library{SystemModuleLoader()};
    if (!library.Load("")) return std::fprintf(stderr, "KROLib.dll could not be loaded\n"), 1;
    HWND window = CreateWindowExW(0, L"STATIC", L"bare lists", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 1110,
                                  635, nullptr, nullptr, nullptr, nullptr);
    HWND lists[kCategoryCount] = {};
    for (int i = 0; i < kCategoryCount; ++i) {
        lists[i] = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT,
                                   20 + i * 270, 50, 250, 500, window, nullptr, nullptr, nullptr);
        SendMessageW(lists[i], LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                     LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
        LVCOLUMNW column = {};
        column.mask = LVCF_WIDTH | LVCF_TEXT;
        column.cx = 60;
        column.pszText = const_cast<wchar_t*>(L"c");
        for (int c = 0; c < (i < 3 ? 4 : 3); ++c)
            SendMessageW(lists[i], LVM_INSERTCOLUMNW, static_cast<WPARAM>(c),
                         reinterpret_cast<LPARAM>(&column));
    }
    UpdateWindow(window);
    ReachState("before", signal, true);

    std::size_t rowCount = 0;
    {
        CollectingSink sink;
        std::atomic<bool> never{false};
        LoadRecordingLists(library, sink, never);
        rowCount = sink.rows.size();
        for (HWND list : lists) SendMessageW(list, WM_SETREDRAW, FALSE, 0);
        for (const RecordingRow& row : sink.rows) {
            HWND list = lists[CategoryIndex(row.category)];
            LVITEMA item = {};
            item.mask = LVIF_TEXT;
            item.iItem = row.index;
            item.pszText = const_cast<char*>("");
            const int index =
                static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
            SetText(list, index, 1, row.name.c_str());
            SetText(list, index, 2, row.sizeText.c_str());
            if (row.durationText) SetText(list, index, 3, row.durationText->c_str());
        }
        for (HWND list : lists) {
            SendMessageW(list, WM_SETREDRAW, TRUE, 0);
            InvalidateRect(list, nullptr, TRUE);
        }
    }
    UpdateWindow(window);
    std::printf("rows %zu\n", rowCount);
    ReachState("after", signal, false);
    DestroyWindow(window);
    return 0;
}

}  // namespace kro::bench
