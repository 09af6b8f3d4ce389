#include "tests/unit/simulator/scoped_env.h"

namespace kro::simtest {

ScopedEnv::ScopedEnv(std::string name, const std::string& value) : name_(std::move(name)) {
    previous_ = GetEnvironment(name_);
    SetEnvironment(name_, value);
}

ScopedEnv::~ScopedEnv() {
    SetEnvironment(name_, previous_.value_or(""));
}

}  // namespace kro::simtest
