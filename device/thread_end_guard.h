// ThreadEndGuard: the last thing a thread body does, on every way out. A
// body declares one first thing, with the action that raises its
// done/finished state; the destructor runs it whether the body returns or
// unwinds, so no owner can wait for a flag that is never raised.
#pragma once

#include <utility>

namespace kro {

template <typename Action>
class [[nodiscard]] ThreadEndGuard {
public:
    explicit ThreadEndGuard(Action action) : action_(std::move(action)) {}
    ~ThreadEndGuard() { action_(); }
    ThreadEndGuard(const ThreadEndGuard&) = delete;
    ThreadEndGuard& operator=(const ThreadEndGuard&) = delete;

private:
    Action action_;
};

}  // namespace kro
