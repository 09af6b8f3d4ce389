// A stand-in program that binds the device library the way the product does:
// it loads with the folder given as its first argument (empty when none),
// checks the device once, closes, and exits 0 when the load succeeded, else 1.
// Tests copy it into folders of their own to prove where the library is found.
#include <cstdint>

#include "device/in_process_library.h"
#include "device/kro_library.h"
#include "device/module_loader.h"

int main(int argc, char** argv) {
    kro::NarrowLibrarySearch();
    kro::InProcessLibrary library(kro::SystemModuleLoader());
    const bool loaded = library.Load(argc > 1 ? argv[1] : "");
    std::uint8_t deviceValue = 0;
    library.CheckDevice(&deviceValue);
    library.Close();
    return loaded ? 0 : 1;
}
