#include "simulator/instances.h"

#include <cstdint>

namespace kro::sim {

KroHandle InstanceRegistry::Create() {
    std::lock_guard lock(mutex_);
    if (next_ == INT32_MAX) return 0;
    const KroHandle handle = next_++;
    live_.insert(handle);
    return handle;
}

bool InstanceRegistry::Delete(KroHandle handle) {
    std::lock_guard lock(mutex_);
    return live_.erase(handle) == 1;
}

bool InstanceRegistry::IsLive(KroHandle handle) const {
    std::lock_guard lock(mutex_);
    return live_.count(handle) == 1;
}

InstanceRegistry& Instances() {
    static InstanceRegistry registry;
    return registry;
}

}  // namespace kro::sim
