// Awaiting work that completes elsewhere: a platform callback that may fire on any thread
// (callback()), or a blocking function run on an executor (inBackground()). The awaiting
// task resumes on the loop. Cancelling it resumes it at once with Cancelled; a late result is
// then dropped, and a background job sees its stop token requested. A completion whose every
// copy is dropped unanswered fails the awaiting task, so nothing waits forever.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <type_traits>

#include "runtime/executor.h"
#include "runtime/task.h"

namespace lumora {

template <class T>
class Completion;

namespace detail {

template <class T>
struct BridgeResult {
    std::mutex mutex;
    bool delivered = false;
    std::optional<std::conditional_t<std::is_void_v<T>, bool, T>> value;
    std::exception_ptr error;
    std::shared_ptr<Resumption> resumption;
    std::stop_source stop;

    // Stores the outcome once and resumes the waiting task, if any; later outcomes are dropped.
    template <class Store>
    void deliver(Store store) {
        std::shared_ptr<Resumption> waiting;
        {
            std::lock_guard lock(mutex);
            if (delivered) return;
            delivered = true;
            store();
            waiting = resumption;
        }
        if (waiting) waiting->resumeLater();
    }
};

// Shared by the copies of one Completion; the last copy to go answers for all of them.
template <class T>
struct CompletionOwner {
    // make_shared needs a constructor: clang 14 cannot build an aggregate from parentheses.
    explicit CompletionOwner(std::shared_ptr<BridgeResult<T>> result) : result(std::move(result)) {}
    std::shared_ptr<BridgeResult<T>> result;
    ~CompletionOwner() {
        result->deliver([&] { result->error = std::make_exception_ptr(abandonedWork()); });
    }
};

}  // namespace detail

// Handed to the starter of a callback; call exactly one of its operations, from any thread.
template <class T>
class Completion {
  public:
    explicit Completion(std::shared_ptr<detail::BridgeResult<T>> result)
        : result_(result),
          owner_(std::make_shared<detail::CompletionOwner<T>>(std::move(result))) {}

    template <class U = T>
    requires(!std::is_void_v<U>) void operator()(U value) const {
        result_->deliver([&] { result_->value.emplace(std::move(value)); });
    }
    template <class U = T>
    requires std::is_void_v<U>
    void operator()() const {
        result_->deliver([&] { result_->value.emplace(true); });
    }
    void fail(std::exception_ptr error) const {
        result_->deliver([&] { result_->error = std::move(error); });
    }
    std::stop_token stopToken() const { return result_->stop.get_token(); }

  private:
    std::shared_ptr<detail::BridgeResult<T>> result_;
    std::shared_ptr<detail::CompletionOwner<T>> owner_;
};

template <class T>
class [[nodiscard]] CallbackAwaiter {
  public:
    explicit CallbackAwaiter(std::function<void(Completion<T>)> start)
        : start_(std::move(start)), result_(std::make_shared<detail::BridgeResult<T>>()) {}
    CallbackAwaiter(CallbackAwaiter&&) = default;
    ~CallbackAwaiter() {
        if (!result_) return;  // moved from
        if (resumption_) resumption_->abandon();
        {
            // A late completion must not reach the loop: it may be gone by then.
            std::lock_guard lock(result_->mutex);
            result_->resumption = nullptr;
        }
        result_->stop.request_stop();
    }

    bool await_ready() const noexcept { return false; }

    template <class P>
    bool await_suspend(std::coroutine_handle<P> handle) {
        const detail::TaskContext& context = handle.promise().context;
        if (context.state->cancelled) return false;
        resumption_ = std::make_shared<detail::Resumption>(context, handle);
        resumption_->armCancellation([result = result_] { result->stop.request_stop(); });
        start_(Completion<T>(result_));
        std::lock_guard lock(result_->mutex);
        if (result_->delivered) {
            // Completed synchronously: continue without a trip through the loop.
            resumption_->abandon();
            return false;
        }
        result_->resumption = resumption_;
        return true;
    }

    T await_resume() {
        if (!resumption_ || resumption_->wasCancelled()) throw Cancelled();
        if (result_->error) std::rethrow_exception(result_->error);
        if constexpr (!std::is_void_v<T>) return std::move(*result_->value);
    }

  private:
    std::function<void(Completion<T>)> start_;
    std::shared_ptr<detail::BridgeResult<T>> result_;
    std::shared_ptr<detail::Resumption> resumption_;
};

// Awaits a callback-style operation: `start` receives a Completion to call when done.
template <class T>
CallbackAwaiter<T> callback(std::function<void(Completion<T>)> start) {
    return CallbackAwaiter<T>(std::move(start));
}

// Runs `work(stopToken)` on the executor and resumes with its result or its exception.
template <class Work, class T = std::invoke_result_t<Work, std::stop_token>>
CallbackAwaiter<T> inBackground(Executor& executor, Work work) {
    return CallbackAwaiter<T>([&executor, work = std::move(work)](Completion<T> done) mutable {
        executor.submit([done, work = std::move(work)]() mutable {
            try {
                if constexpr (std::is_void_v<T>) {
                    work(done.stopToken());
                    done();
                } else {
                    done(work(done.stopToken()));
                }
            } catch (...) {
                done.fail(std::current_exception());
            }
        });
    });
}

}  // namespace lumora
