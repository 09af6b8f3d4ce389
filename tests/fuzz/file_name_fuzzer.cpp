// Recording names of any bytes, as a device library may list them: the
// program's check that a name is one plain file name in the export folder,
// and the simulator's turning of any name into such a file name. Checks that
// an accepted name stays inside the folder on either system, and that the
// simulator keeps an accepted name as it is and never makes a path of one.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "export/file_name_check.h"
#include "fuzz_check.h"
#include "simulator/names.h"

namespace {

// True when the name, put below a folder, names an entry directly in it
// for both POSIX and Windows path rules.
bool StaysInFolder(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    if (name.find_first_of("/\\:") != std::string_view::npos) return false;
    const std::filesystem::path inFolder = std::filesystem::path("folder") / std::string(name);
    return inFolder.lexically_normal().parent_path() == "folder";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view name(reinterpret_cast<const char*>(data), size);
    const bool plain = kro::IsPlainFileName(name);
    if (plain) {
        FUZZ_CHECK(StaysInFolder(name));
        // Windows drops trailing dots and spaces and opens devices by name.
        FUZZ_CHECK(name.back() != '.' && name.back() != ' ');
        FUZZ_CHECK(name.find('\0') == std::string_view::npos);
        FUZZ_CHECK(kro::sim::SafeFileName(name) == name);
    }
    const std::string safe = kro::sim::SafeFileName(name);
    FUZZ_CHECK(StaysInFolder(safe));
    FUZZ_CHECK(safe.back() != '.' && safe.back() != ' ');
    return 0;
}
