// Real child processes. PosixChildProcess starts a program with posix_spawn (no shell, looked up
// on PATH when it names no folder), inheriting this process's standard streams, and a thread of
// its own waits for it, reaps it and reports how it ended. Destroying one that still runs
// terminates it and reaps it, so no child outlives its owner or is left a zombie.
// spawnDetached starts a program that is meant to outlive the request that started it.
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/screen_capture.h"

namespace lumora::platform {

class PosixChildProcess final : public ChildProcess {
  public:
    PosixChildProcess(std::string executable, std::vector<std::string> arguments);
    ~PosixChildProcess() override;
    PosixChildProcess(const PosixChildProcess&) = delete;
    PosixChildProcess& operator=(const PosixChildProcess&) = delete;

    // Throws lumora::Error ("NSPOSIXErrorDomain", errno) when the program cannot be started or
    // this process was launched before.
    void launch() override;
    // The status is the exit code, or the signal's number when a signal ended the process.
    void whenExited(std::function<void(int status)> exited) override;
    bool isRunning() override;
    // Sends SIGTERM.
    void terminate() override;

  private:
    enum class State { notLaunched, running, exited };

    void waitForExit();

    const std::string executable_;
    const std::vector<std::string> arguments_;
    std::mutex mutex_;
    std::condition_variable ended_;
    State state_ = State::notLaunched;
    pid_t pid_ = 0;
    int status_ = 0;
    std::function<void(int)> exited_;
    std::thread waiter_;
};

// Starts the program in a session of its own and leaves it to run: nobody waits for its result,
// and a detached thread reaps it when it ends. False when it cannot be started.
bool spawnDetached(const std::string& executable, const std::vector<std::string>& arguments);

}  // namespace lumora::platform
