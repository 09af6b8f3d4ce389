// The full path of the test double's own library file.
#pragma once

#include <string>

namespace kro::test {

std::string OwnLibraryPath();

}  // namespace kro::test
