#include "runtime/task.h"

#include <cstdio>

namespace lumora {

namespace detail {

void finishRoot(std::coroutine_handle<> root, EventLoop& loop, TaskState& state,
                std::exception_ptr error) {
    state.done = true;
    state.wake = nullptr;
    if (error) {
        try {
            std::rethrow_exception(error);
        } catch (const Cancelled&) {
        } catch (const std::exception& failure) {
            std::fprintf(stderr, "lumora: task ended with an error: %s\n", failure.what());
        } catch (...) {
            std::fprintf(stderr, "lumora: task ended with an unknown error\n");
        }
    }
    loop.releaseRoot(root);
    root.destroy();
}

void Resumption::armCancellation(std::function<void()> onCancel) {
    std::weak_ptr<Resumption> weak = shared_from_this();
    context_.state->wake = [weak, onCancel = std::move(onCancel)] {
        auto self = weak.lock();
        if (!self || self->finished_) return;
        self->cancelledWhileWaiting_ = true;
        if (onCancel) onCancel();
        self->resumeLater();
    };
}

void Resumption::resumeLater() {
    context_.loop->post([self = shared_from_this()] { self->resumeNow(); });
}

void Resumption::resumeNow() {
    if (finished_) return;
    finished_ = true;
    context_.state->wake = nullptr;
    handle_.resume();
}

void Resumption::abandon() {
    if (!finished_) context_.state->wake = nullptr;
    finished_ = true;
}

}  // namespace detail

void TaskHandle::cancel() {
    if (!state_ || state_->cancelled) return;
    state_->cancelled = true;
    if (auto wake = std::move(state_->wake)) {
        state_->wake = nullptr;
        wake();
    }
}

TaskHandle spawn(EventLoop& loop, Task<void> task) {
    auto handle = task.release();
    auto state = std::make_shared<detail::TaskState>();
    handle.promise().context = {&loop, state};
    handle.promise().isRoot = true;
    loop.adoptRoot(handle);
    // The loop drops this closure before it destroys unfinished roots, so it never runs late.
    loop.post([handle] { handle.resume(); });
    return TaskHandle(std::move(state));
}

}  // namespace lumora
