#include "platform/sim/sim_language_model.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

#include "runtime/text.h"

namespace lumora::sim {

class SimLanguageModel::QuietCalls {
  public:
    // Runs `end` when `stop` is requested; at once when it already was.
    void hold(std::stop_token stop, std::function<void()> end) {
        auto ending =
            std::make_unique<std::stop_callback<std::function<void()>>>(stop, std::move(end));
        std::lock_guard lock(mutex_);
        std::erase_if(held_, [](const Held& held) { return held.stop.stop_requested(); });
        held_.push_back({std::move(stop), std::move(ending)});
    }

  private:
    struct Held {
        std::stop_token stop;
        std::unique_ptr<std::stop_callback<std::function<void()>>> ending;
    };
    std::mutex mutex_;
    std::vector<Held> held_;
};

namespace {

bool contains(const std::string& text, const std::optional<std::string>& part) {
    return !part || text.find(*part) != std::string::npos;
}

// Waits out one snapshot's production time; a stop ends the wait at once.
void pace(const ModelReply& reply, std::stop_token stop) {
    if (reply.chunkInterval <= 0) return;
    std::mutex mutex;
    std::condition_variable_any stopped;
    std::unique_lock lock(mutex);
    stopped.wait_for(lock, stop, std::chrono::duration<double>(reply.chunkInterval),
                     [] { return false; });
}

bool stallsAt(const ModelReply& reply, std::size_t shown) {
    return reply.stallsAfter && shown >= *reply.stallsAfter;
}

class SimModelSession final : public platform::LanguageModelSession {
  public:
    SimModelSession(std::shared_ptr<World> world,
                    std::shared_ptr<SimLanguageModel::QuietCalls> quiet,
                    platform::ModelConfiguration configuration, std::string instructions)
        : world_(std::move(world)),
          quiet_(std::move(quiet)),
          configuration_(configuration),
          instructions_(std::move(instructions)) {}

    void respond(const platform::ModelPrompt& prompt, Completion<std::string> answer) override {
        ModelReply reply = pick(prompt, false);
        std::stop_token stop = answer.stopToken();
        if (stallsAt(reply, 0)) {
            quiet_->hold(stop, [answer] { answer.fail(std::make_exception_ptr(Cancelled())); });
        } else if (stop.stop_requested()) {
            answer.fail(std::make_exception_ptr(Cancelled()));
        } else if (reply.error) {
            answer.fail(std::make_exception_ptr(*reply.error));
        } else {
            answer(reply.text);
        }
    }

    void streamResponse(const platform::ModelPrompt& prompt,
                        AsyncStream<std::string>::Producer output) override {
        ModelReply reply = pick(prompt, true);
        std::stop_token stop = output.stopToken();
        // Found once, so a long reply in small chunks costs the simulation no more than a model.
        std::vector<std::size_t> ends = text::characterEnds(reply.text);
        std::size_t characters = ends.size();
        for (std::size_t shown = 0;;) {
            if (stallsAt(reply, shown)) {
                quiet_->hold(stop, [output] { output.fail(std::make_exception_ptr(Cancelled())); });
                return;
            }
            if (shown == characters) break;
            pace(reply, stop);
            if (stop.stop_requested()) throw Cancelled();
            shown = std::min(characters, shown + reply.chunkSize);
            output.yield(reply.text.substr(0, ends[shown - 1]));
        }
        if (stop.stop_requested()) throw Cancelled();
        if (reply.error) throw *reply.error;
        output.finish();
    }

  private:
    // Records the call and picks the reply.
    ModelReply pick(const platform::ModelPrompt& prompt, bool streamed) {
        std::lock_guard lock(world_->mutex);
        auto& model = world_->model;
        model.calls.push_back(
            {configuration_, instructions_, prompt.text, prompt.image.has_value(), streamed});
        for (const ModelReply& reply : model.replies) {
            if (contains(prompt.text, reply.match) &&
                contains(instructions_, reply.instructionsMatch) &&
                (!reply.configuration || *reply.configuration == configuration_)) {
                return reply;
            }
        }
        return model.defaultReply;
    }

    std::shared_ptr<World> world_;
    std::shared_ptr<SimLanguageModel::QuietCalls> quiet_;
    platform::ModelConfiguration configuration_;
    std::string instructions_;
};

}  // namespace

SimLanguageModel::SimLanguageModel(std::shared_ptr<World> world)
    : world_(std::move(world)), quiet_(std::make_shared<QuietCalls>()) {}

SimLanguageModel::~SimLanguageModel() = default;

platform::ModelAvailability SimLanguageModel::availability() {
    std::lock_guard lock(world_->mutex);
    return {world_->model.available, world_->model.description};
}

bool SimLanguageModel::supportsImageAttachments() {
    std::lock_guard lock(world_->mutex);
    return world_->model.supportsImages;
}

std::unique_ptr<platform::LanguageModelSession> SimLanguageModel::makeSession(
    platform::ModelConfiguration configuration, const std::string& instructions) {
    return std::make_unique<SimModelSession>(world_, quiet_, configuration, instructions);
}

}  // namespace lumora::sim
