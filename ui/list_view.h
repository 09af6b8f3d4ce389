// Non-owning view of a report-style list view with check boxes. Row texts are
// ANSI bytes (recording names come from the device library in the system code
// page) and go through the control's A messages; column headings are fixed
// UTF-16 texts.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>

#include "ui/window.h"

namespace kro::ui {

class ListView : public Window {
public:
    using Window::Window;

    // Inserts a row at index with its column-0 text; the row's index, or -1.
    int InsertItemA(int index, const char* text) const;
    bool SetItemTextA(int item, int subItem, const char* text) const;
    // The text of one cell, whatever its length; empty for a missing row.
    std::string ItemTextA(int item, int subItem) const;
    int ItemCount() const { return static_cast<int>(SendMessageW(Handle(), LVM_GETITEMCOUNT, 0, 0)); }
    bool DeleteAllItems() const { return SendMessageW(Handle(), LVM_DELETEALLITEMS, 0, 0) != FALSE; }

    // The row's check box (LVS_EX_CHECKBOXES): ticked or not.
    bool IsChecked(int item) const;
    bool SetChecked(int item, bool checked) const;

    // Appends a left-aligned column; its index, or -1.
    int InsertColumn(int index, const wchar_t* heading, int width) const;
    // Sets every extended style bit (mask 0 means all bits).
    void SetExtendedStyle(DWORD style) const {
        SendMessageW(Handle(), LVM_SETEXTENDEDLISTVIEWSTYLE, 0, static_cast<LPARAM>(style));
    }
    DWORD ExtendedStyle() const {
        return static_cast<DWORD>(SendMessageW(Handle(), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    }
    // Sets the image list of a kind (LVSIL_SMALL, ...); the previous one.
    HIMAGELIST SetImageList(HIMAGELIST images, int kind) const {
        return reinterpret_cast<HIMAGELIST>(SendMessageW(
            Handle(), LVM_SETIMAGELIST, static_cast<WPARAM>(kind), reinterpret_cast<LPARAM>(images)));
    }
};

}  // namespace kro::ui
