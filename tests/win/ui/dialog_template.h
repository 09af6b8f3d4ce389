// Reads an extended dialog template (DLGTEMPLATEEX) from the running
// program's resources, so tests can compare what the resource compiler
// stored with what the dialogs promise.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace kro::testing {

struct DialogItemTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    int x = 0, y = 0, width = 0, height = 0;
    int id = 0;
    // Predefined classes (stored as atoms) are given by name: "Button",
    // "Static", ...; other class names as stored.
    std::wstring className;
    std::wstring text;
    // A resource ordinal in place of the text (an icon control's icon).
    int textOrdinal = -1;
};

struct DialogTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    int x = 0, y = 0, width = 0, height = 0;
    std::wstring className;
    std::wstring caption;
    int pointSize = 0;
    std::wstring face;
    std::vector<DialogItemTemplate> items;
};

// Null when the resource is missing or not an extended template.
std::optional<DialogTemplate> ReadDialogTemplate(int id);

}  // namespace kro::testing
