#include "platform/sim/sim_audio.h"

#include <algorithm>

namespace lumora::sim {

namespace {

class SimAudioEngine final : public platform::AudioEngine {
  public:
    explicit SimAudioEngine(std::shared_ptr<World> world) : world_(std::move(world)) {
        std::lock_guard lock(world_->mutex);
        id_ = world_->audio.nextId++;
        world_->audio.engines[id_];
    }
    ~SimAudioEngine() override {
        std::unique_lock lock(world_->mutex);
        waitForTap(lock);
        world_->audio.engines.erase(id_);
    }

    platform::AudioFormat inputFormat() override {
        std::lock_guard lock(world_->mutex);
        return world_->audio.input;
    }

    void installTap(std::uint32_t bufferFrames, platform::AudioFormat format,
                    std::function<void(const platform::AudioBuffer&)> handler) override {
        std::unique_lock lock(world_->mutex);
        waitForTap(lock);
        auto& engine = state();
        engine.tapFrames = bufferFrames;
        // A tap without a format of its own takes the input's.
        engine.tapFormat =
            format.sampleRate > 0 && format.channels > 0 ? format : world_->audio.input;
        engine.tap = std::make_shared<AudioTap>(std::move(handler));
        restartStream();
    }

    void removeTap() override {
        std::unique_lock lock(world_->mutex);
        waitForTap(lock);
        state().tap.reset();
        restartStream();
    }

    void start() override {
        std::lock_guard lock(world_->mutex);
        if (world_->audio.startError) throw *world_->audio.startError;
        state().running = true;
    }

    void stop() override {
        std::unique_lock lock(world_->mutex);
        waitForTap(lock);
        state().running = false;
        restartStream();
    }

  private:
    EngineState& state() { return world_->audio.engines.at(id_); }

    // A real engine's stop returns once its render cycle has, so whoever stops the microphone
    // may free what the tap uses. The same holds here for changing the tap, unless the tap
    // itself does it from the audio thread.
    void waitForTap(std::unique_lock<std::mutex>& lock) {
        auto& audio = world_->audio;
        audio.tapReturned.wait(lock, [&] {
            return audio.tapInUse != id_ || audio.tapThread == std::this_thread::get_id();
        });
    }

    // The next time the microphone finds the engine running with a tap, the user starts over.
    void restartStream() {
        state().streamStart.reset();
        state().buffersDelivered = 0;
    }

    std::shared_ptr<World> world_;
    int id_ = 0;
};

double bufferEnd(const EngineState& engine) {
    return *engine.streamStart + static_cast<double>(engine.buffersDelivered + 1) *
                                     engine.tapFrames / engine.tapFormat.sampleRate;
}

// Marks the end of a tap call even when the tap throws, so nobody waits for it for ever.
class TapCallEnd {
  public:
    explicit TapCallEnd(World& world) : world_(world) {}
    ~TapCallEnd() {
        {
            std::lock_guard lock(world_.mutex);
            world_.audio.tapInUse.reset();
        }
        world_.audio.tapReturned.notify_all();
    }
    TapCallEnd(const TapCallEnd&) = delete;
    TapCallEnd& operator=(const TapCallEnd&) = delete;

  private:
    World& world_;
};

}  // namespace

std::unique_ptr<platform::AudioEngine> SimAudio::createEngine() {
    return std::make_unique<SimAudioEngine>(world_);
}

bool SimAudio::anyEngineRunning() const {
    std::lock_guard lock(world_->mutex);
    const auto& engines = world_->audio.engines;
    return std::any_of(engines.begin(), engines.end(),
                       [](const auto& engine) { return engine.second.running; });
}

std::size_t SimAudio::deliver(double now) {
    std::lock_guard serial(delivering_);
    std::size_t delivered = 0;
    // One buffer per lock, so a tap that stops its engine hears nothing more.
    while (true) {
        std::optional<DueBuffer> due;
        {
            std::lock_guard lock(world_->mutex);
            due = takeDueBuffer(now);
        }
        if (!due) return delivered;
        TapCallEnd callEnd(*world_);
        (*due->tap)(due->buffer);
        ++delivered;
    }
}

std::optional<SimAudio::DueBuffer> SimAudio::takeDueBuffer(double now) {
    auto& audio = world_->audio;
    // Of the buffers due, the one that ended first, as one clock would have delivered them.
    std::map<int, EngineState>::iterator first = audio.engines.end();
    for (auto it = audio.engines.begin(); it != audio.engines.end(); ++it) {
        EngineState& engine = it->second;
        if (!engine.running || !engine.tap || engine.tapFrames == 0 ||
            !(engine.tapFormat.sampleRate > 0)) {
            continue;
        }
        if (!engine.streamStart) engine.streamStart = now;
        if (bufferEnd(engine) <= now &&
            (first == audio.engines.end() || bufferEnd(engine) < bufferEnd(first->second))) {
            first = it;
        }
    }
    if (first == audio.engines.end()) return std::nullopt;

    EngineState& engine = first->second;
    // The user says the scenario's samples; a microphone never stops, so silence follows.
    std::vector<float> channel(engine.tapFrames, 0.0f);
    const std::uint64_t offset = engine.buffersDelivered * engine.tapFrames;
    if (offset < audio.samples.size()) {
        std::copy_n(audio.samples.begin() + static_cast<std::ptrdiff_t>(offset),
                    std::min<std::uint64_t>(engine.tapFrames, audio.samples.size() - offset),
                    channel.begin());
    }
    ++engine.buffersDelivered;
    audio.tapInUse = first->first;
    audio.tapThread = std::this_thread::get_id();
    return DueBuffer{
        engine.tap,
        {engine.tapFormat, std::vector<std::vector<float>>(engine.tapFormat.channels, channel)}};
}

}  // namespace lumora::sim
