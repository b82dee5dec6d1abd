// Polling for what the real desktop does a moment later (an activation, a paste, an
// application's recovery): tests wait for the outcome instead of sleeping a fixed time.
#pragma once

#include <chrono>
#include <thread>

namespace lumora::test_support {

// Polls `condition` until it holds or `limit` passes; whether it held.
template <class Condition>
bool eventually(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace lumora::test_support
