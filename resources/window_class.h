// The window class the main dialog's template names (KroFileList.rc, CLASS):
// every program that creates that dialog registers it first
// (ui::RegisterDialogClass). A second copy of the program finds the first's
// window by it.
#pragma once

namespace kro {

inline constexpr wchar_t kMainWindowClass[] = L"MERIN.KROFILELIST";

}  // namespace kro
