// Drives a task on a loop with the system clock, for the awaitables whose completions come
// from other threads. Nothing here waits on time: run() returns when the task quits it.
#pragma once

#include <gtest/gtest.h>

#include "runtime/task.h"

namespace lumora::test_support {

inline Task<void> quitWhenFinished(EventLoop& loop, Task<void> body, bool& finished) {
    try {
        co_await std::move(body);
    } catch (const std::exception& error) {
        ADD_FAILURE() << "task ended with " << error.what();
    }
    finished = true;
    loop.quit();
}

// Runs the loop until `body` ends. The guard only matters when a resumption is lost: it turns
// a hang into a failure.
inline void runToCompletion(EventLoop& loop, Task<void> body) {
    bool finished = false;
    bool expired = false;
    spawn(loop, quitWhenFinished(loop, std::move(body), finished));
    Timer guard(loop);
    guard.start(30.0, [&] {
        expired = true;
        loop.quit();
    });
    loop.run();
    EXPECT_TRUE(finished);
    EXPECT_FALSE(expired);
}

}  // namespace lumora::test_support
