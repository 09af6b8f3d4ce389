#include <cstdlib>

#include "tests/unit/simulator/scoped_env.h"

namespace kro::simtest {

// _putenv_s changes the runtime's copy and the process environment block,
// which is where the library reads its variables.
void SetEnvironment(const std::string& name, const std::string& value) {
    _putenv_s(name.c_str(), value.c_str());
}

std::optional<std::string> GetEnvironment(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

}  // namespace kro::simtest
