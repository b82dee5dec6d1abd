// What a recognition task reports, collected from whichever thread it reports on, for tests
// that wait for it with a deadline.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "platform/speech.h"

namespace lumora::test_support {

class RecognitionReports {
  public:
    platform::RecognitionHandler handler() {
        return [this](const std::optional<platform::RecognitionResult>& result,
                      const std::optional<std::string>& error) {
            {
                std::lock_guard lock(mutex_);
                if (result) results_.push_back(*result);
                if (error) errors_.push_back(*error);
            }
            changed_.notify_all();
        };
    }

    // Waits until a final result or an error has come, for at most `limit`.
    bool awaitEnd(std::chrono::seconds limit = std::chrono::seconds(20)) {
        return await(
            [this] { return !errors_.empty() || (!results_.empty() && results_.back().isFinal); },
            limit);
    }
    // Waits until some result has come.
    bool awaitResult(std::chrono::seconds limit = std::chrono::seconds(20)) {
        return await([this] { return !results_.empty(); }, limit);
    }

    std::vector<platform::RecognitionResult> results() {
        std::lock_guard lock(mutex_);
        return results_;
    }
    std::vector<std::string> errors() {
        std::lock_guard lock(mutex_);
        return errors_;
    }

  private:
    template <class Predicate>
    bool await(Predicate done, std::chrono::seconds limit) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, done);
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<platform::RecognitionResult> results_;
    std::vector<std::string> errors_;
};

}  // namespace lumora::test_support
