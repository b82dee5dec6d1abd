#include "platform/linux/soxr_conversion.h"

#include <soxr.h>

#include <cmath>

#include "runtime/error.h"

namespace lumora::platform {

namespace {

constexpr double outputRate = 16000;
constexpr double lowestRate = 1000;
constexpr double highestRate = 768000;
// Output frames beyond the resampled count, for what the filter releases late.
constexpr std::size_t outputSlack = 128;

class SoxrConverter final : public AudioConverter {
  public:
    explicit SoxrConverter(soxr_t resampler, double inputRate)
        : resampler_(resampler), inputRate_(inputRate) {}
    ~SoxrConverter() override { soxr_delete(resampler_); }
    SoxrConverter(const SoxrConverter&) = delete;
    SoxrConverter& operator=(const SoxrConverter&) = delete;

    std::vector<float> convert(const AudioBuffer& buffer) override {
        if (buffer.channels.empty()) return {};
        const std::vector<float>& input = buffer.channels.front();
        const auto capacity =
            static_cast<std::size_t>(std::ceil(input.size() * outputRate / inputRate_)) +
            outputSlack;
        return run(input.data(), input.size(), capacity);
    }

    std::vector<float> flush() override {
        std::vector<float> drained;
        // Whatever the filter still holds, until it has nothing more to give.
        while (true) {
            std::vector<float> more = run(nullptr, 0, 1024);
            if (more.empty()) return drained;
            drained.insert(drained.end(), more.begin(), more.end());
        }
    }

  private:
    std::vector<float> run(const float* input, std::size_t length, std::size_t capacity) {
        std::vector<float> output(capacity);
        std::size_t produced = 0;
        std::size_t consumed = 0;
        do {
            if (produced == output.size()) output.resize(output.size() * 2);
            std::size_t used = 0;
            std::size_t done = 0;
            soxr_error_t error =
                soxr_process(resampler_, input ? input + consumed : nullptr, length - consumed,
                             &used, output.data() + produced, output.size() - produced, &done);
            if (error) throw Error("Lumora", 3, SoxrConversion::failedDescription);
            consumed += used;
            produced += done;
            if (used == 0 && done == 0) break;
        } while (consumed < length || produced == output.size());
        output.resize(produced);
        return output;
    }

    soxr_t resampler_;
    double inputRate_;
};

}  // namespace

std::unique_ptr<AudioConverter> SoxrConversion::createConverter(AudioFormat input) {
    if (input.channels == 0 || !std::isfinite(input.sampleRate) || input.sampleRate < lowestRate ||
        input.sampleRate > highestRate) {
        return nullptr;
    }
    soxr_error_t error = nullptr;
    soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    // Minimum phase keeps the high-quality filter's passband and attenuation but needs no
    // look-ahead, so each buffer comes out at once as its own share instead of in bursts a
    // buffer late; the phase response it changes means nothing to speech recognition.
    soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, SOXR_MINIMUM_PHASE);
    soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_t resampler =
        soxr_create(input.sampleRate, outputRate, 1, &error, &io, &quality, &runtime);
    if (error || resampler == nullptr) return nullptr;
    return std::make_unique<SoxrConverter>(resampler, input.sampleRate);
}

}  // namespace lumora::platform
