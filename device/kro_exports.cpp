#include "device/kro_exports.h"

#include <cstring>

namespace kro {

int FindKroExport(const char* name) {
    for (int i = 0; i < kKroExportCount; ++i) {
        if (std::strcmp(kKroExports[i].name, name) == 0) return i;
    }
    return -1;
}

}  // namespace kro
