#include "export/file_name_check.h"

#include <algorithm>

namespace kro {
namespace {

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualsIgnoringCase(std::string_view text, std::string_view upper) {
    return text.size() == upper.size() &&
           std::equal(text.begin(), text.end(), upper.begin(), [](char a, char b) { return Upper(a) == b; });
}

bool IsForbiddenCharacter(char c) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return true;
    return std::string_view("/\\:<>\"|?*").find(c) != std::string_view::npos;
}

// COM and LPT take a digit, or a superscript one, 2 or 3 in the Latin-1
// code page that Windows also reserves.
bool IsPortNumber(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (c >= '0' && c <= '9') || byte == 0xB9 || byte == 0xB2 || byte == 0xB3;
}

// Windows opens the device for the name before the first dot, with trailing
// spaces ignored ("nul.txt" and "CON .log" are devices too).
bool IsReservedDeviceName(std::string_view name) {
    std::string_view base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
    for (std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (EqualsIgnoringCase(base, device)) return true;
    }
    if (base.size() == 4 && IsPortNumber(base[3])) {
        const std::string_view port = base.substr(0, 3);
        return EqualsIgnoringCase(port, "COM") || EqualsIgnoringCase(port, "LPT");
    }
    return false;
}

}  // namespace

bool IsPlainFileName(std::string_view name) {
    if (name.empty()) return false;
    if (std::any_of(name.begin(), name.end(), IsForbiddenCharacter)) return false;
    if (name.back() == '.' || name.back() == ' ') return false;
    return !IsReservedDeviceName(name);
}

}  // namespace kro
