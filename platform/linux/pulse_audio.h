// The microphone on Linux: engines that record the sound server's default source through
// libpulse (PulseAudio, or PipeWire through its Pulse server). The input format is the source's
// own rate and channels; a tap gets float buffers of exactly its frame count, in its format
// (the server converts), on the engine's capture thread. A missing server or source is an
// input without a format, and a start that throws lumora::Error saying which.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/audio.h"

namespace lumora::platform {

class PulseAudio final : public Audio {
  public:
    // `server` in libpulse's notation; none for the user's own (PULSE_SERVER, else the
    // session's).
    explicit PulseAudio(std::optional<std::string> server = std::nullopt)
        : server_(std::move(server)) {}

    // An engine's tap must not stop the engine or change its tap.
    std::unique_ptr<AudioEngine> createEngine() override;
    // The server answers and describes its default source: what the microphone permission
    // follows.
    bool hasInput();

  private:
    std::optional<std::string> server_;
};

}  // namespace lumora::platform
