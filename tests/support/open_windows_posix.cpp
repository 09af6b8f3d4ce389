#include "tests/support/open_windows.h"

namespace kro::testing {

std::string DescribeOpenWindows() {
    return {};
}

}  // namespace kro::testing
