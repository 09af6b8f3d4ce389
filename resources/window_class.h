// The window class the main dialog's template names (KroFileList.rc, CLASS):
// every program that creates that dialog registers it first
// (ui::RegisterDialogClass). A second copy of the program finds the first's
// window by it, under the single-instance name.
#pragma once

#include "resources/single_instance_name.h"

namespace kro {

inline constexpr wchar_t kMainWindowClass[] = L"MERIN.KROFILELIST";

namespace detail {

constexpr bool SameName(const char* narrow, const wchar_t* wide) {
    for (; *narrow != '\0' || *wide != L'\0'; ++narrow, ++wide) {
        if (static_cast<wchar_t>(*narrow) != *wide) return false;
    }
    return true;
}

}  // namespace detail

// A second copy looks for the running one's window under the mutex's name.
static_assert(detail::SameName(kSingleInstanceName, kMainWindowClass));

}  // namespace kro
