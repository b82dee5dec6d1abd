#include "assistant/screen/prepared_screen_context.h"

#include <stop_token>

namespace lumora {

PreparedScreenContext::PreparedScreenContext(EventLoop& loop, std::uint64_t requestID,
                                             std::uint32_t windowID, Capture capture)
    : requestID_(requestID), scope_(std::make_shared<TaskScope>(loop)) {
    scope_->spawn(run(outcome_, std::move(capture), windowID));
}

PreparedScreenContext::~PreparedScreenContext() {
    cancel();
    outcome_->waiting.reset();
}

Task<void> PreparedScreenContext::run(std::shared_ptr<Outcome> outcome, Capture capture,
                                      std::uint32_t windowID) {
    try {
        co_await checkCancellation();
        platform::Image image = co_await capture(windowID);
        co_await checkCancellation();
        outcome->image = std::move(image);
    } catch (...) {
        outcome->error = std::current_exception();
    }
    outcome->settle();
}

void PreparedScreenContext::Outcome::settle() {
    if (!waiting || (!image && !error)) return;
    Completion<platform::Image> done = std::move(*waiting);
    waiting.reset();
    if (error) {
        done.fail(error);
    } else {
        done(std::move(*image));
    }
}

Task<std::optional<platform::Image>> PreparedScreenContext::value(std::uint64_t requestID) {
    if (requestID != requestID_) co_return std::nullopt;
    // Named rather than written inside the co_await: GCC 12 destroys the captures of a
    // temporary there twice.
    std::optional<std::stop_callback<std::function<void()>>> forwardCancellation;
    std::function<void(Completion<platform::Image>)> awaitImage =
        [&forwardCancellation, outcome = outcome_,
         scope = std::weak_ptr<TaskScope>(scope_)](Completion<platform::Image> done) {
            // A cancelled wait cancels the capture too: nobody else will collect it.
            forwardCancellation.emplace(done.stopToken(), std::function<void()>([scope] {
                                            if (auto running = scope.lock()) running->cancel();
                                        }));
            outcome->waiting = std::move(done);
            outcome->settle();
        };
    platform::Image image = co_await callback<platform::Image>(std::move(awaitImage));
    co_await checkCancellation();
    co_return image;
}

void PreparedScreenContext::cancel() {
    scope_->cancel();
}

}  // namespace lumora
