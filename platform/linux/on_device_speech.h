// The on-device recognisers of this platform behind the speech port, and the choice between
// them: whisper.cpp whenever the user has put a Whisper model where the helper looks (or named
// one), pocketsphinx with Debian's model otherwise.
#pragma once

#include <memory>

#include "platform/linux/whisper_model_file.h"
#include "platform/speech.h"

namespace lumora::platform {

class OnDeviceSpeech : public Speech {
  public:
    // Whether a model loads, for the Speech Recognition permission, which follows it.
    virtual bool modelLoads() = 0;
};

std::unique_ptr<OnDeviceSpeech> chooseOnDeviceSpeech(const EnvironmentLookup& environment);

}  // namespace lumora::platform
