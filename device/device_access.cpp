#include "device/device_access.h"

namespace kro {
namespace {

constexpr int kPollerStopWaitSeconds = 2;
// A details query may still be inside the library; it is given as long.
constexpr std::chrono::seconds kLibraryCloseWait{2};

}  // namespace

bool StopPoller(CSchedule& poller) {
    poller.RequestStop();
    return poller.WaitForEnd(kPollerStopWaitSeconds);
}

bool EndDeviceAccess(CSchedule& poller, KroLibrary& library) {
    if (!StopPoller(poller)) {
        // A poller stuck in a hosted library comes back once its host is
        // ended; one stuck in this process does not.
        if (!library.EndHost() || !StopPoller(poller)) return false;
    }
    return library.CloseWithin(kLibraryCloseWait);
}

}  // namespace kro
