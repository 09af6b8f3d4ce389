// Sets an environment variable for one scope and restores it afterwards. An
// empty value removes the variable.
#pragma once

#include <optional>
#include <string>

namespace kro::simtest {

class ScopedEnv {
public:
    ScopedEnv(std::string name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> previous_;
};

// Sets (or, with an empty value, removes) a variable of this process.
void SetEnvironment(const std::string& name, const std::string& value);
std::optional<std::string> GetEnvironment(const std::string& name);

}  // namespace kro::simtest
