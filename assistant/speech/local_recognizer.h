// The on-device speech recogniser for one language. Dictation never leaves the machine, so a
// language whose recogniser would need the network is refused rather than used.
#pragma once

#include <memory>
#include <string>

#include "platform/permissions.h"
#include "platform/speech.h"

namespace lumora {

// `language` is a locale identifier ("en-US" or "en_US"). Throws lumora::Error in the domain
// "Lumora": code 1 without Speech Recognition permission, code 2 when the language has no
// available on-device recogniser.
std::unique_ptr<platform::SpeechRecognizer> localRecognizer(platform::Speech& speech,
                                                            platform::Permissions& permissions,
                                                            const std::string& language);

}  // namespace lumora
