#include "simulator/names.h"

#include <cstring>

#include "simulator/sim_platform.h"

namespace kro::sim {
namespace {

using namespace std::string_view_literals;

// Each list gets every fourth name: index = position * 4 + category, so the
// Photo list (where a caller composes picture paths itself) holds the path
// tricks at 3, 7, 15 and 19.
constexpr std::string_view kHostileNames[] = {
    "../../evil.avi"sv,
    "..\\up.avi"sv,
    "C:x.avi"sv,
    "..\\..\\EVIL.JPG"sv,
    "CON"sv,
    "LPT1.avi"sv,
    "NUL.JPG"sv,
    "C:\\EVIL.JPG"sv,
    "ctl\x01\x1f.avi"sv,
    "dot."sv,
    "space "sv,
    "COM1.JPG"sv,
    ".."sv,
    "a:b*?\"<>|"sv,
    "\\\\srv\\share"sv,
    "/tmp/evil.JPG"sv,
    "..."sv,
    "tab\there"sv,
    "AUX"sv,
    ""sv,
};

bool IsReservedDeviceName(std::string_view stem) {
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    std::string name;
    for (char c : stem) name += upper(c);
    while (!name.empty() && name.back() == ' ') name.pop_back();
    if (name == "CON" || name == "PRN" || name == "AUX" || name == "NUL") return true;
    return name.size() == 4 && (name.starts_with("COM") || name.starts_with("LPT")) && name[3] >= '1' &&
           name[3] <= '9';
}

}  // namespace

std::string JoinPath(const std::string& folder, std::string_view name) {
    std::string path = folder;
    if (!path.empty() && !IsPathSeparator(path.back())) path += PreferredSeparator();
    path += name;
    return path;
}

CallerName ReadCallerName(const char* name) {
    if (name == nullptr) return {};
    const void* end = std::memchr(name, '\0', kMaxCallerNameLength + 1);
    if (end == nullptr) return {};
    return {std::string_view(name, static_cast<std::size_t>(static_cast<const char*>(end) - name)), true};
}

std::string PresentedName(const Recording& recording, int category, std::size_t position,
                          const Faults& faults) {
    std::string name = recording.name;
    if (faults.hostileNames) {
        const std::size_t index = position * kCategoryCount + static_cast<std::size_t>(category);
        if (index < HostileNameCount()) name = std::string(HostileName(index));
    }
    if (faults.unterminatedNames) name.resize(kMaxRecordingNameLength + 1, kUnterminatedFiller);
    return name;
}

std::string SafeFileName(std::string_view name) {
    std::string safe;
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        safe += byte < 0x20 || std::strchr("<>:\"/\\|?*", c) != nullptr ? '_' : c;
    }
    for (auto i = safe.size(); i > 0 && (safe[i - 1] == '.' || safe[i - 1] == ' '); --i) safe[i - 1] = '_';
    if (safe.empty()) safe.push_back('_');
    if (!IsReservedDeviceName(std::string_view(safe).substr(0, safe.find('.')))) return safe;
    return std::string(1, '_') + safe;
}

std::size_t HostileNameCount() {
    return std::size(kHostileNames);
}

std::string_view HostileName(std::size_t index) {
    return index < HostileNameCount() ? kHostileNames[index] : std::string_view();
}

}  // namespace kro::sim
