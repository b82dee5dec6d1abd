#include "assistant/host/request_work.h"

#include <algorithm>

namespace lumora {

RequestWork::RequestWork(EventLoop& loop)
    : insertions_(loop), generations_(loop), undos_(loop), deadline_(loop) {}

void RequestWork::startGeneration(Task<void> task) {
    generations_.spawn(std::move(task));
}

void RequestWork::startInsertion(Task<void> task) {
    insertions_.spawn(std::move(task));
}

void RequestWork::startUndo(Task<void> task) {
    undos_.spawn(std::move(task));
}

void RequestWork::armDeadline(double seconds, std::function<void()> expire) {
    deadline_.start(seconds, std::move(expire));
}

void RequestWork::disarmDeadline() {
    deadline_.stop();
}

void RequestWork::track(std::shared_ptr<platform::ChildProcess> process) {
    screenProcesses_.push_back(std::move(process));
}

void RequestWork::forget(const std::shared_ptr<platform::ChildProcess>& process) {
    std::erase(screenProcesses_, process);
}

bool RequestWork::isGenerating() const {
    return generations_.isRunning();
}

void RequestWork::cancel() {
    insertions_.cancel();
    generations_.cancel();
    undos_.cancel();
    deadline_.stop();
    for (const auto& process : screenProcesses_) {
        if (process->isRunning()) process->terminate();
    }
    screenProcesses_.clear();
}

}  // namespace lumora
