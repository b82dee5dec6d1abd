#include "platform/sim/sim_child_process.h"

#include <condition_variable>
#include <csignal>

#include "platform/linux/png_images.h"
#include "runtime/atomic_file.h"

namespace lumora::sim {

namespace {

constexpr int writeFailedStatus = 1;

Error missingExecutable(const std::string& executable) {
    std::string name = executable.substr(executable.find_last_of('/') + 1);
    return Error("NSCocoaErrorDomain", 4, "The file “" + name + "” doesn’t exist.");
}

class SimChildProcess final : public platform::ChildProcess {
  public:
    SimChildProcess(std::shared_ptr<World> world, std::string executable,
                    std::vector<std::string> arguments)
        : world_(std::move(world)), launch_{std::move(executable), std::move(arguments)} {}

    void launch() override {
        ProcessScript script;
        {
            std::lock_guard lock(world_->mutex);
            auto found = world_->processes.find(launch_.executable);
            if (found == world_->processes.end()) throw missingExecutable(launch_.executable);
            world_->launches.push_back(launch_);
            script = found->second;
        }
        std::lock_guard lock(mutex_);
        state_ = State::running;
        if (!script.runsUntilTerminated) exit(script);
    }

    int waitForExit() override {
        std::unique_lock lock(mutex_);
        exited_.wait(lock, [&] { return state_ != State::running; });
        return state_ == State::exited ? status_ : -1;
    }

    bool isRunning() override {
        std::lock_guard lock(mutex_);
        return state_ == State::running;
    }

    void terminate() override {
        std::lock_guard lock(mutex_);
        if (state_ != State::running) return;
        state_ = State::exited;
        status_ = SIGTERM;
        exited_.notify_all();
    }

  private:
    enum class State { notLaunched, running, exited };

    // Called with mutex_ held.
    void exit(const ProcessScript& script) {
        status_ = script.exitStatus;
        if (status_ == 0 && script.outputImage && !writeOutput(*script.outputImage)) {
            status_ = writeFailedStatus;
        }
        state_ = State::exited;
        exited_.notify_all();
    }

    bool writeOutput(const WindowImage& picture) {
        if (launch_.arguments.empty()) return false;
        platform::PngImages images;
        auto image = renderImage(picture, images);
        auto png = image ? images.encodePng(*image) : std::nullopt;
        return png && files::replaceAtomically(launch_.arguments.back(), *png, 0644);
    }

    std::shared_ptr<World> world_;
    ProcessLaunch launch_;
    std::mutex mutex_;
    std::condition_variable exited_;
    State state_ = State::notLaunched;
    int status_ = 0;
};

}  // namespace

std::unique_ptr<platform::ChildProcess> makeSimProcess(std::shared_ptr<World> world,
                                                       std::string executable,
                                                       std::vector<std::string> arguments) {
    return std::make_unique<SimChildProcess>(std::move(world), std::move(executable),
                                             std::move(arguments));
}

}  // namespace lumora::sim
