// Looking up the device library's exports by name.
#pragma once

#include "device/kro_api.h"

namespace kro {

// Index of the export in the binding's entry-point table, or -1.
int FindKroExport(const char* name);

}  // namespace kro
