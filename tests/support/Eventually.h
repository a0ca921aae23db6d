// The one bounded wait of the test suite: polls a condition that another thread or process brings about until
// it holds or the deadline passes. A test checks the condition, never the time it took.
#pragma once

#include <chrono>
#include <thread>

template <typename Condition>
bool Eventually(Condition condition, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
