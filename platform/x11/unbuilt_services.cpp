#include "platform/x11/unbuilt_services.h"

#include "runtime/error.h"

namespace lumora::x11 {

namespace {

// An input node without a device: no format, and nothing to start.
class DeviceLessEngine final : public platform::AudioEngine {
  public:
    platform::AudioFormat inputFormat() override { return {}; }
    void installTap(std::uint32_t, platform::AudioFormat,
                    std::function<void(const platform::AudioBuffer&)>) override {}
    void removeTap() override {}
    void start() override { throw Error("Lumora.X11", 2, "This desktop has no microphone input."); }
    void stop() override {}
};

}  // namespace

std::unique_ptr<platform::AudioEngine> NoMicrophone::createEngine() {
    return std::make_unique<DeviceLessEngine>();
}

}  // namespace lumora::x11
