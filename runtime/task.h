// Coroutine tasks on the event loop.
//
//   Task<T>      a lazy coroutine; `co_await task` runs it and yields its value or rethrows.
//   spawn()      starts a Task<void> on the loop (on the next turn) and returns a TaskHandle.
//   cancel()     marks the task cancelled and wakes its current suspension with Cancelled.
//
// Awaited child tasks share the parent's cancellation. Every suspension is resumed exactly
// once and always on the loop thread, by completion or by cancellation, whichever comes first.
// TaskHandle::cancel() must be called on the loop thread.
#pragma once

#include <coroutine>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "runtime/error.h"
#include "runtime/event_loop.h"

namespace lumora {

namespace detail {

struct TaskState {
    bool cancelled = false;
    bool done = false;
    std::function<void()> wake;  // wakes the current suspension, if any
};

struct TaskContext {
    EventLoop* loop = nullptr;
    std::shared_ptr<TaskState> state;
};

void finishRoot(std::coroutine_handle<> root, EventLoop& loop, TaskState& state,
                std::exception_ptr error);

struct PromiseBase {
    TaskContext context;
    std::coroutine_handle<> continuation;
    std::exception_ptr exception;
    bool isRoot = false;

    struct FinalAwaiter {
        bool await_ready() noexcept { return false; }
        template <class P>
        std::coroutine_handle<> await_suspend(std::coroutine_handle<P> self) noexcept {
            PromiseBase& promise = self.promise();
            if (promise.continuation) return promise.continuation;
            if (promise.isRoot) {
                finishRoot(self, *promise.context.loop, *promise.context.state, promise.exception);
            }
            return std::noop_coroutine();
        }
        void await_resume() noexcept {}
    };

    std::suspend_always initial_suspend() noexcept { return {}; }
    FinalAwaiter final_suspend() noexcept { return {}; }
    void unhandled_exception() noexcept { exception = std::current_exception(); }
};

template <class T>
struct ValuePromise : PromiseBase {
    std::optional<T> value;
    template <class U>
    void return_value(U&& result) {
        value.emplace(std::forward<U>(result));
    }
    T take() { return std::move(*value); }
};

template <>
struct ValuePromise<void> : PromiseBase {
    void return_void() noexcept {}
    void take() {}
};

// One suspension of a task. Completion may be signalled from any thread (resumeLater);
// the resumption itself always happens on the loop thread, once.
class Resumption : public std::enable_shared_from_this<Resumption> {
  public:
    Resumption(const TaskContext& context, std::coroutine_handle<> handle)
        : context_(context), handle_(handle) {}

    // Registers the wake-up that cancellation uses; `onCancel` runs first (loop thread).
    void armCancellation(std::function<void()> onCancel = {});
    void resumeLater();
    void resumeNow();
    // The awaiting frame is gone; nothing may resume it any more.
    void abandon();
    bool wasCancelled() const { return cancelledWhileWaiting_; }
    EventLoop& loop() const { return *context_.loop; }

  private:
    TaskContext context_;
    std::coroutine_handle<> handle_;
    bool finished_ = false;
    bool cancelledWhileWaiting_ = false;
};

}  // namespace detail

template <class T = void>
class [[nodiscard]] Task {
  public:
    struct promise_type : detail::ValuePromise<T> {
        Task get_return_object() {
            return Task(std::coroutine_handle<promise_type>::from_promise(*this));
        }
    };
    using Handle = std::coroutine_handle<promise_type>;

    Task(Task&& other) noexcept : handle_(std::exchange(other.handle_, {})) {}
    Task& operator=(Task&& other) noexcept {
        if (this != &other) {
            if (handle_) handle_.destroy();
            handle_ = std::exchange(other.handle_, {});
        }
        return *this;
    }
    ~Task() {
        if (handle_) handle_.destroy();
    }

    struct Awaiter {
        Handle child;
        bool await_ready() noexcept { return false; }
        template <class P>
        std::coroutine_handle<> await_suspend(std::coroutine_handle<P> parent) noexcept {
            child.promise().context = parent.promise().context;
            child.promise().continuation = parent;
            return child;
        }
        T await_resume() {
            if (child.promise().exception) std::rethrow_exception(child.promise().exception);
            return child.promise().take();
        }
    };

    Awaiter operator co_await() && noexcept { return Awaiter{handle_}; }

    Handle release() noexcept { return std::exchange(handle_, {}); }

  private:
    explicit Task(Handle handle) : handle_(handle) {}
    Handle handle_;
};

class TaskHandle {
  public:
    TaskHandle() = default;
    explicit TaskHandle(std::shared_ptr<detail::TaskState> state) : state_(std::move(state)) {}

    void cancel();
    bool isCancelled() const { return state_ && state_->cancelled; }
    bool isDone() const { return !state_ || state_->done; }

  private:
    std::shared_ptr<detail::TaskState> state_;
};

// Starts `task` on the next turn of the loop; the loop owns the frame until it finishes.
TaskHandle spawn(EventLoop& loop, Task<void> task);

// Suspends for `seconds` on the loop's continuous clock; throws Cancelled when the task is
// cancelled before or during the sleep.
struct [[nodiscard]] SleepFor {
    double seconds;
    std::shared_ptr<detail::Resumption> resumption;
    std::unique_ptr<Timer> timer;

    bool await_ready() const noexcept { return false; }
    template <class P>
    bool await_suspend(std::coroutine_handle<P> handle) {
        const detail::TaskContext& context = handle.promise().context;
        if (context.state->cancelled) return false;
        resumption = std::make_shared<detail::Resumption>(context, handle);
        timer = std::make_unique<Timer>(*context.loop);
        resumption->armCancellation([timer = timer.get()] { timer->stop(); });
        timer->start(seconds, [r = resumption] { r->resumeNow(); });
        return true;
    }
    void await_resume() const {
        if (!resumption || resumption->wasCancelled()) throw Cancelled();
    }
    ~SleepFor() {
        if (resumption) resumption->abandon();
    }
};

inline SleepFor sleepFor(double seconds) {
    return SleepFor{seconds, nullptr, nullptr};
}

// Reads the current task's cancellation without suspending.
struct [[nodiscard]] CancellationProbe {
    bool throwIfCancelled;
    bool cancelled = false;
    bool await_ready() const noexcept { return false; }
    template <class P>
    bool await_suspend(std::coroutine_handle<P> handle) noexcept {
        cancelled = handle.promise().context.state->cancelled;
        return false;
    }
    bool await_resume() const {
        if (cancelled && throwIfCancelled) throw Cancelled();
        return cancelled;
    }
};

inline CancellationProbe checkCancellation() {
    return CancellationProbe{true};
}
inline CancellationProbe isCancelled() {
    return CancellationProbe{false};
}

// The loop the current task runs on.
struct [[nodiscard]] CurrentLoop {
    EventLoop* loop = nullptr;
    bool await_ready() const noexcept { return false; }
    template <class P>
    bool await_suspend(std::coroutine_handle<P> handle) noexcept {
        loop = handle.promise().context.loop;
        return false;
    }
    EventLoop& await_resume() const noexcept { return *loop; }
};

inline CurrentLoop currentLoop() {
    return {};
}

}  // namespace lumora
