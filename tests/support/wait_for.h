// Tests wait for what other threads and processes do, never for a fixed time: the
// condition is polled until it holds or the time-out passes.
#pragma once

#include <chrono>
#include <thread>

namespace krogw::test {

template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds timeout = std::chrono::seconds(5),
             std::chrono::milliseconds step = std::chrono::milliseconds(5)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(step);
    }
    return true;
}

}  // namespace krogw::test
