#include "platform/sim/sim_speech.h"

#include <algorithm>
#include <stdexcept>

namespace lumora::sim {

namespace {

// The recogniser's own description when a request ends without any audio.
constexpr const char* noSpeechDetected = "No speech detected";

// One request and the task recognising it. Guarded by the world's mutex.
struct Recognition {
    std::size_t frames = 0;
    double seconds = 0;
    bool ended = false;
    bool cancelled = false;
    // The end of the audio has been reported, and with it everything.
    bool finished = false;
    // Per scripted result, in the scenario's order.
    std::vector<bool> reported;
    std::shared_ptr<platform::RecognitionHandler> handler;
};

class SimRecognitionRequest final : public platform::RecognitionRequest {
  public:
    explicit SimRecognitionRequest(std::shared_ptr<World> world) : world_(std::move(world)) {}

    void append(const platform::AudioBuffer& buffer) override {
        {
            std::lock_guard lock(world_->mutex);
            auto& recognition = *recognition_;
            if (recognition.ended) return;
            recognition.frames += buffer.frameCount();
            if (buffer.format.sampleRate > 0) {
                recognition.seconds +=
                    static_cast<double>(buffer.frameCount()) / buffer.format.sampleRate;
            }
        }
        report();
    }

    void endAudio() override {
        {
            std::lock_guard lock(world_->mutex);
            recognition_->ended = true;
        }
        report();
    }

    std::shared_ptr<Recognition> attach(platform::RecognitionHandler handler) {
        {
            std::lock_guard lock(world_->mutex);
            recognition_->handler =
                std::make_shared<platform::RecognitionHandler>(std::move(handler));
        }
        report();
        return recognition_;
    }

  private:
    // Reports what has become due, on the thread that made it due, as the platform's
    // recogniser calls back on threads of its own: results once enough audio was heard, and
    // when the audio ends everything left, then the error.
    void report() {
        std::shared_ptr<platform::RecognitionHandler> handler;
        std::vector<platform::RecognitionResult> results;
        std::optional<std::string> error;
        {
            std::lock_guard lock(world_->mutex);
            auto& recognition = *recognition_;
            if (!recognition.handler || recognition.cancelled || recognition.finished) return;
            handler = recognition.handler;
            const auto& scripted = world_->speech.results;
            recognition.reported.resize(scripted.size());
            for (std::size_t i = 0; i < scripted.size(); ++i) {
                const auto& afterAudio = scripted[i].afterAudio;
                const bool due =
                    recognition.ended || (afterAudio && recognition.seconds >= *afterAudio);
                if (recognition.frames > 0 && due && !recognition.reported[i]) {
                    recognition.reported[i] = true;
                    results.push_back(scripted[i].result);
                }
            }
            if (recognition.ended) {
                recognition.finished = true;
                error = recognition.frames == 0 ? std::optional<std::string>(noSpeechDetected)
                                                : world_->speech.error;
            }
        }
        // The handler may cancel the task, after which it hears nothing more.
        for (const auto& result : results) {
            if (cancelled()) return;
            (*handler)(result, std::nullopt);
        }
        if (error && !cancelled()) (*handler)(std::nullopt, error);
    }

    bool cancelled() const {
        std::lock_guard lock(world_->mutex);
        return recognition_->cancelled;
    }

    std::shared_ptr<World> world_;
    std::shared_ptr<Recognition> recognition_ = std::make_shared<Recognition>();
};

class SimRecognitionTask final : public platform::RecognitionTask {
  public:
    SimRecognitionTask(std::shared_ptr<World> world, std::shared_ptr<Recognition> recognition)
        : world_(std::move(world)), recognition_(std::move(recognition)) {}

    void cancel() override {
        std::lock_guard lock(world_->mutex);
        recognition_->cancelled = true;
    }

  private:
    std::shared_ptr<World> world_;
    std::shared_ptr<Recognition> recognition_;
};

class SimRecognizer final : public platform::SpeechRecognizer {
  public:
    SimRecognizer(std::shared_ptr<World> world, RecognizerState state)
        : world_(std::move(world)), state_(state) {}

    bool isAvailable() override { return state_.available; }
    bool supportsOnDeviceRecognition() override { return state_.onDevice; }

    std::shared_ptr<platform::RecognitionRequest> makeRequest() override {
        return std::make_shared<SimRecognitionRequest>(world_);
    }

    std::unique_ptr<platform::RecognitionTask> start(
        std::shared_ptr<platform::RecognitionRequest> request,
        platform::RecognitionHandler handler) override {
        auto* ours = dynamic_cast<SimRecognitionRequest*>(request.get());
        if (!ours)
            throw std::invalid_argument("The request was not made by a simulated recognizer");
        return std::make_unique<SimRecognitionTask>(world_, ours->attach(std::move(handler)));
    }

  private:
    std::shared_ptr<World> world_;
    RecognizerState state_;
};

}  // namespace

std::vector<std::string> SimSpeech::supportedLocales() {
    std::lock_guard lock(world_->mutex);
    return world_->speech.locales;
}

std::unique_ptr<platform::SpeechRecognizer> SimSpeech::recognizer(
    const std::string& localeIdentifier) {
    std::lock_guard lock(world_->mutex);
    const auto& speech = world_->speech;
    // As the platform's locales do, "en-US" names the same locale as "en_US".
    std::string identifier = localeIdentifier;
    std::replace(identifier.begin(), identifier.end(), '-', '_');
    if (std::find(speech.locales.begin(), speech.locales.end(), identifier) ==
        speech.locales.end()) {
        return nullptr;
    }
    auto state = speech.recognizers.find(identifier);
    return std::make_unique<SimRecognizer>(
        world_, state == speech.recognizers.end() ? RecognizerState{} : state->second);
}

}  // namespace lumora::sim
