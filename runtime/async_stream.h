// Values produced on other threads (model snapshots, for instance) and consumed in order by
// one task on the loop: `while (auto value = co_await stream.next()) ...`. The producer side
// may be shared with any thread; when the consumer goes away or is cancelled, the stop token
// the producer watches is requested. A producer whose every copy is dropped before it finished
// fails the stream, so the consumer never waits forever.
#pragma once

#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>

#include "runtime/task.h"

namespace lumora {

template <class T>
class AsyncStream {
    struct Shared;
    // Shared by the copies of the producer; the last copy to go ends an unfinished stream.
    struct ProducerOwner {
        // make_shared needs a constructor: clang 14 cannot build an aggregate from parentheses.
        explicit ProducerOwner(std::shared_ptr<Shared> shared) : shared(std::move(shared)) {}
        std::shared_ptr<Shared> shared;
        ~ProducerOwner() {
            Producer(shared, nullptr).fail(std::make_exception_ptr(abandonedWork()));
        }
    };
    struct Shared {
        std::mutex mutex;
        std::deque<T> values;
        bool finished = false;
        std::exception_ptr error;
        std::shared_ptr<detail::Resumption> waiting;
        std::stop_source stop;
        std::weak_ptr<ProducerOwner> producer;
    };

  public:
    class Producer {
      public:
        void yield(T value) const {
            notify([&](Shared& shared) { shared.values.push_back(std::move(value)); });
        }
        // For values that each supersede the one before (cumulative snapshots): replaces the
        // newest value the consumer has not read yet, whichever call queued it, instead of
        // queueing behind it, so a producer faster than its consumer holds one value, not every
        // one it made.
        void yieldLatest(T value) const {
            notify([&](Shared& shared) {
                if (shared.values.empty()) {
                    shared.values.push_back(std::move(value));
                } else {
                    shared.values.back() = std::move(value);
                }
            });
        }
        void finish() const {
            notify([](Shared& shared) { shared.finished = true; });
        }
        void fail(std::exception_ptr error) const {
            notify([&](Shared& shared) {
                shared.finished = true;
                shared.error = std::move(error);
            });
        }
        std::stop_token stopToken() const { return shared_->stop.get_token(); }

      private:
        friend class AsyncStream;
        Producer(std::shared_ptr<Shared> shared, std::shared_ptr<ProducerOwner> owner)
            : shared_(std::move(shared)), owner_(std::move(owner)) {}

        template <class Change>
        void notify(Change change) const {
            std::shared_ptr<detail::Resumption> waiting;
            {
                std::lock_guard lock(shared_->mutex);
                if (shared_->finished) return;
                change(*shared_);
                waiting = std::exchange(shared_->waiting, nullptr);
            }
            if (waiting) waiting->resumeLater();
        }

        std::shared_ptr<Shared> shared_;
        std::shared_ptr<ProducerOwner> owner_;
    };

    AsyncStream() : shared_(std::make_shared<Shared>()) {}
    AsyncStream(AsyncStream&&) = default;
    ~AsyncStream() {
        if (shared_) shared_->stop.request_stop();
    }

    Producer producer() const {
        std::lock_guard lock(shared_->mutex);
        std::shared_ptr<ProducerOwner> owner = shared_->producer.lock();
        if (!owner) {
            owner = std::make_shared<ProducerOwner>(shared_);
            shared_->producer = owner;
        }
        return Producer(shared_, std::move(owner));
    }

    struct [[nodiscard]] Awaiter {
        std::shared_ptr<Shared> shared;
        std::shared_ptr<detail::Resumption> resumption;
        bool cancelledBeforeWaiting = false;

        bool await_ready() const noexcept { return false; }
        template <class P>
        bool await_suspend(std::coroutine_handle<P> handle) {
            const detail::TaskContext& context = handle.promise().context;
            if (context.state->cancelled) {
                cancelledBeforeWaiting = true;
                return false;
            }
            std::lock_guard lock(shared->mutex);
            if (!shared->values.empty() || shared->finished) return false;
            resumption = std::make_shared<detail::Resumption>(context, handle);
            resumption->armCancellation([shared = shared] {
                shared->stop.request_stop();
                std::lock_guard lock(shared->mutex);
                shared->waiting = nullptr;
            });
            shared->waiting = resumption;
            return true;
        }
        std::optional<T> await_resume() {
            if (cancelledBeforeWaiting || (resumption && resumption->wasCancelled())) {
                shared->stop.request_stop();
                throw Cancelled();
            }
            std::lock_guard lock(shared->mutex);
            if (!shared->values.empty()) {
                T value = std::move(shared->values.front());
                shared->values.pop_front();
                return value;
            }
            if (shared->error) std::rethrow_exception(shared->error);
            return std::nullopt;
        }
        ~Awaiter() {
            if (!resumption) return;
            resumption->abandon();
            // A value yielded after this frame is gone must not reach the loop.
            std::lock_guard lock(shared->mutex);
            if (shared->waiting == resumption) shared->waiting = nullptr;
        }
    };

    // Resumes with the next value, or none once the producer finished; rethrows its failure.
    Awaiter next() { return Awaiter{shared_, nullptr, false}; }

  private:
    std::shared_ptr<Shared> shared_;
};

}  // namespace lumora
