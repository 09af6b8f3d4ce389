#include "device/device_access.h"

namespace kro {
namespace {

constexpr int kPollerStopWaitSeconds = 2;

}  // namespace

bool EndDeviceAccess(CSchedule& poller, KroLibrary& library) {
    poller.RequestStop();
    if (!poller.WaitForEnd(kPollerStopWaitSeconds)) return false;
    library.Close();
    return true;
}

}  // namespace kro
