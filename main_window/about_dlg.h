// The About box: dialog template 100, with nothing to serve beyond closing.
#pragma once

#include "resources/resource.h"
#include "ui/dialog.h"

namespace kro {

class CAboutDlg : public ui::Dialog {
public:
    CAboutDlg() : Dialog(IDD_ABOUTBOX) {}
};

}  // namespace kro
