#include "platform/linux/pulse_audio.h"

#include "platform/linux/pulse_capture.h"
#include "platform/linux/pulse_connection.h"
#include "runtime/error.h"

namespace lumora::platform {

namespace {

std::optional<PulseSource> defaultSourceOf(const std::optional<std::string>& server) {
    try {
        return PulseConnection(server).defaultSource();
    } catch (const Error&) {
        return std::nullopt;
    }
}

struct Tap {
    std::uint32_t frames;
    AudioFormat format;
    PulseBufferAssembly::Handler handler;
};

// While the engine runs: the connection and its source, and the capture for the tap.
struct Running {
    explicit Running(const std::optional<std::string>& server) : connection(server) {
        std::optional<PulseSource> found = connection.defaultSource();
        if (!found) throw Error("Lumora.Pulse", 4, "The sound server has no default input.");
        source = std::move(*found);
    }

    PulseConnection connection;
    PulseSource source;
    // Declared after the connection, which must outlive it.
    std::unique_ptr<PulseCapture> capture;
};

class PulseAudioEngine final : public AudioEngine {
  public:
    explicit PulseAudioEngine(std::optional<std::string> server) : server_(std::move(server)) {}

    AudioFormat inputFormat() override {
        std::optional<PulseSource> source = defaultSourceOf(server_);
        return source ? source->format : AudioFormat{};
    }

    void installTap(std::uint32_t bufferFrames, AudioFormat format,
                    std::function<void(const AudioBuffer&)> handler) override {
        tap_ = Tap{bufferFrames, format, std::move(handler)};
        recapture();
    }

    void removeTap() override {
        tap_.reset();
        recapture();
    }

    void start() override {
        if (running_) return;
        auto running = std::make_unique<Running>(server_);
        running->capture = captureFor(*running);
        running_ = std::move(running);
    }

    void stop() override { running_.reset(); }

  private:
    // A running engine records for its tap as it is now; a new tap starts the stream over.
    void recapture() {
        if (!running_) return;
        running_->capture.reset();
        running_->capture = captureFor(*running_);
    }

    std::unique_ptr<PulseCapture> captureFor(Running& running) const {
        if (!tap_ || tap_->frames == 0) return nullptr;
        // A tap without a format of its own takes the input's.
        const AudioFormat format = tap_->format.sampleRate > 0 && tap_->format.channels > 0
                                       ? tap_->format
                                       : running.source.format;
        return std::make_unique<PulseCapture>(running.connection, running.source.name, format,
                                              tap_->frames, tap_->handler);
    }

    const std::optional<std::string> server_;
    std::optional<Tap> tap_;
    std::unique_ptr<Running> running_;
};

}  // namespace

std::unique_ptr<AudioEngine> PulseAudio::createEngine() {
    return std::make_unique<PulseAudioEngine>(server_);
}

bool PulseAudio::hasInput() {
    std::optional<PulseSource> source = defaultSourceOf(server_);
    return source && source->format.sampleRate > 0 && source->format.channels > 0;
}

}  // namespace lumora::platform
