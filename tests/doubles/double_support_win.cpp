#include <windows.h>

#include "tests/doubles/double_support.h"

namespace kro::test {

std::filesystem::path ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::filesystem::path(std::wstring(path, length)).parent_path();
}

bool IsLibraryLoaded(const std::filesystem::path& library) {
    return GetModuleHandleW(library.c_str()) != nullptr;
}

}  // namespace kro::test
