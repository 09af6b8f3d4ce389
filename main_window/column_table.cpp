#include "main_window/column_table.h"

namespace kro {

const ExportButton* FindExportButton(int buttonId) {
    for (const ExportButton& button : kExportButtons) {
        if (button.buttonId == buttonId) return &button;
    }
    return nullptr;
}

}  // namespace kro
