#include "platform/sim/sim_language_model.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "runtime/text.h"

namespace lumora::sim {

namespace {

bool contains(const std::string& text, const std::optional<std::string>& part) {
    return !part || text.find(*part) != std::string::npos;
}

// Blocks until the call is stopped, then ends it as cancelled.
[[noreturn]] void stallUntilStopped(std::stop_token stop) {
    std::mutex mutex;
    std::condition_variable_any stopped;
    std::unique_lock lock(mutex);
    stopped.wait(lock, stop, [] { return false; });
    throw Cancelled();
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
    SimModelSession(std::shared_ptr<World> world, platform::ModelConfiguration configuration,
                    std::string instructions)
        : world_(std::move(world)),
          configuration_(configuration),
          instructions_(std::move(instructions)) {}

    std::string respond(const platform::ModelPrompt& prompt, std::stop_token stop) override {
        ModelReply reply = answer(prompt, false);
        if (stallsAt(reply, 0)) stallUntilStopped(stop);
        if (stop.stop_requested()) throw Cancelled();
        if (reply.error) throw *reply.error;
        return reply.text;
    }

    void streamResponse(const platform::ModelPrompt& prompt,
                        const std::function<void(const std::string&)>& snapshot,
                        std::stop_token stop) override {
        ModelReply reply = answer(prompt, true);
        // Found once, so a long reply in small chunks costs the simulation no more than a model.
        std::vector<std::size_t> ends = text::characterEnds(reply.text);
        std::size_t characters = ends.size();
        for (std::size_t shown = 0; shown < characters;) {
            if (stallsAt(reply, shown)) stallUntilStopped(stop);
            pace(reply, stop);
            if (stop.stop_requested()) throw Cancelled();
            shown = std::min(characters, shown + reply.chunkSize);
            snapshot(reply.text.substr(0, ends[shown - 1]));
        }
        if (stallsAt(reply, characters)) stallUntilStopped(stop);
        if (stop.stop_requested()) throw Cancelled();
        if (reply.error) throw *reply.error;
    }

  private:
    // Records the call and picks the reply.
    ModelReply answer(const platform::ModelPrompt& prompt, bool streamed) {
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
    platform::ModelConfiguration configuration_;
    std::string instructions_;
};

}  // namespace

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
    return std::make_unique<SimModelSession>(world_, configuration, instructions);
}

}  // namespace lumora::sim
