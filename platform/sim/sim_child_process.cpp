#include "platform/sim/sim_child_process.h"

#include <csignal>
#include <functional>
#include <mutex>

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
        std::unique_lock lock(mutex_);
        state_ = State::running;
        if (!script.runsUntilTerminated) end(lock, script.exitStatus, script.outputImage);
    }

    void whenExited(std::function<void(int)> exited) override {
        std::unique_lock lock(mutex_);
        if (state_ != State::exited) {
            exited_ = std::move(exited);
            return;
        }
        lock.unlock();
        exited(status_);
    }

    bool isRunning() override {
        std::lock_guard lock(mutex_);
        return state_ == State::running;
    }

    void terminate() override {
        std::unique_lock lock(mutex_);
        if (state_ != State::running) return;
        end(lock, SIGTERM, std::nullopt);
    }

  private:
    enum class State { notLaunched, running, exited };

    // Writes the scripted picture, records the status and tells the handler, outside the lock.
    void end(std::unique_lock<std::mutex>& lock, int status,
             const std::optional<WindowImage>& output) {
        status_ = status;
        if (status_ == 0 && output && !writeOutput(*output)) status_ = writeFailedStatus;
        state_ = State::exited;
        std::function<void(int)> exited = std::exchange(exited_, nullptr);
        lock.unlock();
        if (exited) exited(status_);
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
    std::function<void(int)> exited_;
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
