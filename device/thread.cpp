#include "device/thread.h"

#include <cstdint>
#include <system_error>

#include "device/thread_end_guard.h"

namespace kro {
namespace {

constexpr int kDestructionWaitSeconds = 2;
constexpr std::uint32_t kWaitCheckMilliseconds = 100;

}  // namespace

CThread::CThread(Clock& clock, ThreadPriority& priority) : clock_(clock), priority_(priority) {}

CThread::~CThread() {
    StopThread();
}

bool CThread::Start() {
    if (thread.load() != nullptr) return false;
    if (!OnPrepare()) return false;
    // A previous body has ended (thread is null); collect its thread.
    JoinEnded();
    finished = false;
    stopRequested = false;
    thread = &worker_;
    try {
        worker_ = std::thread(&CThread::Body, this);
    } catch (const std::system_error&) {
        thread = nullptr;
        finished = true;
        return false;
    }
    return true;
}

void CThread::RequestStop() {
    if (thread.load() != nullptr) stopRequested = true;
}

bool CThread::WaitForEnd(int seconds) {
    if (thread.load() == nullptr) {
        JoinEnded();
        return true;
    }
    const std::int64_t checks = static_cast<std::int64_t>(seconds) * 10;
    for (std::int64_t i = 0; i < checks; ++i) {
        clock_.Sleep(kWaitCheckMilliseconds);
        if (finished.load() && thread.load() == nullptr) {
            JoinEnded();
            return true;
        }
    }
    return false;
}

void CThread::StopThread() {
    RequestStop();
    WaitForEnd(kDestructionWaitSeconds);
    // Still running after the wait: block until the body ends rather than
    // let it use a destroyed object.
    if (worker_.joinable()) worker_.join();
}

void CThread::Body() {
    // The owner's bounded wait looks for the end mark: raise it on every way
    // out. Nothing may leave a std::thread body either (that would end the
    // process), so a hook that throws ends the body as if it had finished.
    const ThreadEndGuard markEnded([this] { MarkEnded(); });
    try {
        RunHooks();
    } catch (...) {
    }
    try {
        OnEnd();
    } catch (...) {
    }
}

void CThread::RunHooks() {
    priority_.RaiseCurrentThread();
    if (OnBegin()) {
        for (;;) {
            if (stopRequested.load()) {
                OnStopped();
                return;
            }
            if (!OnStep()) break;
        }
    }
    OnFinished();
}

void CThread::MarkEnded() {
    finished = true;
    thread = nullptr;
}

void CThread::JoinEnded() {
    if (worker_.joinable()) worker_.join();
}

}  // namespace kro
