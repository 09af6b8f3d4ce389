#include <dlfcn.h>

#include "tests/doubles/double_support.h"

namespace kro::test {

std::filesystem::path ProgramFolder() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

bool IsLibraryLoaded(const std::filesystem::path& library) {
    void* module = dlopen(library.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (module == nullptr) return false;
    dlclose(module);
    return true;
}

}  // namespace kro::test
