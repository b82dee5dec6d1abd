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
        std::lock_guard lock(world_->mutex);
        world_->audio.engines.erase(id_);
    }

    platform::AudioFormat inputFormat() override {
        std::lock_guard lock(world_->mutex);
        return world_->audio.input;
    }

    void installTap(std::uint32_t bufferFrames, platform::AudioFormat format,
                    std::function<void(const platform::AudioBuffer&)> handler) override {
        std::lock_guard lock(world_->mutex);
        auto& engine = state();
        engine.tapFrames = bufferFrames;
        // A tap without a format of its own takes the input's.
        engine.tapFormat =
            format.sampleRate > 0 && format.channels > 0 ? format : world_->audio.input;
        engine.tap = std::make_shared<AudioTap>(std::move(handler));
    }

    void removeTap() override {
        std::lock_guard lock(world_->mutex);
        state().tap.reset();
    }

    void start() override {
        std::lock_guard lock(world_->mutex);
        if (world_->audio.startError) throw *world_->audio.startError;
        state().running = true;
    }

    void stop() override {
        std::lock_guard lock(world_->mutex);
        state().running = false;
    }

  private:
    EngineState& state() { return world_->audio.engines.at(id_); }

    std::shared_ptr<World> world_;
    int id_ = 0;
};

struct Playback {
    std::shared_ptr<AudioTap> tap;
    std::uint32_t frames;
    platform::AudioFormat format;
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

std::size_t SimAudio::play() {
    std::vector<Playback> playbacks;
    std::vector<float> samples;
    {
        std::lock_guard lock(world_->mutex);
        for (const auto& [id, engine] : world_->audio.engines) {
            if (engine.running && engine.tap && engine.tapFrames > 0) {
                playbacks.push_back({engine.tap, engine.tapFrames, engine.tapFormat});
            }
        }
        samples = world_->audio.samples;
    }
    std::size_t delivered = 0;
    for (const auto& playback : playbacks) {
        for (std::size_t start = 0; start < samples.size(); start += playback.frames) {
            // The microphone keeps recording after the script ends: silence fills the buffer.
            std::vector<float> channel(playback.frames, 0.0f);
            std::copy_n(samples.begin() + static_cast<std::ptrdiff_t>(start),
                        std::min<std::size_t>(playback.frames, samples.size() - start),
                        channel.begin());
            platform::AudioBuffer buffer{playback.format, std::vector<std::vector<float>>(
                                                              playback.format.channels, channel)};
            (*playback.tap)(buffer);
            ++delivered;
        }
    }
    return delivered;
}

}  // namespace lumora::sim
