#include <dlfcn.h>

#include "tests/doubles/own_path.h"

namespace kro::test {

std::string OwnLibraryPath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&OwnLibraryPath), &info) == 0 || info.dli_fname == nullptr) return {};
    return info.dli_fname;
}

}  // namespace kro::test
