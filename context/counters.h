// The context's counts that several threads change: each change is one indivisible
// step, so that two threads never pass a limit together or take a count below 0.
#pragma once

#include <atomic>
#include <cstdint>

namespace krogw {

// Subtracts one unless the count is already 0; true when it did. Never below 0: a start
// request resets counts under threads that still hold what they counted, and their
// letting go must not leave a count that nobody sees fall to 0.
template <typename Count>
bool DecrementNotBelowZero(std::atomic<Count>& count) {
    Count current = count.load();
    while (current != 0) {
        if (count.compare_exchange_weak(current, static_cast<Count>(current - 1))) {
            return true;
        }
    }
    return false;
}

// Adds one while the count is below `limit`; false, and nothing added, at the limit.
template <typename Count>
bool IncrementBelow(std::atomic<Count>& count, int32_t limit) {
    Count current = count.load();
    while (static_cast<int32_t>(current) < limit) {
        if (count.compare_exchange_weak(current, static_cast<Count>(current + 1))) {
            return true;
        }
    }
    return false;
}

}  // namespace krogw
