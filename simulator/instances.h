// The library instances handed out by KRO_Create. Handles are positive and
// never reused while the library is loaded.
#pragma once

#include <mutex>
#include <set>

#include "device/kro_api.h"

namespace kro::sim {

class InstanceRegistry {
public:
    // A new handle, or 0 when none is left.
    KroHandle Create();
    // False for a handle that is not live.
    bool Delete(KroHandle handle);
    bool IsLive(KroHandle handle) const;

private:
    mutable std::mutex mutex_;
    std::set<KroHandle> live_;
    KroHandle next_ = 1;
};

// The registry shared by all callers in the process.
InstanceRegistry& Instances();

}  // namespace kro::sim
