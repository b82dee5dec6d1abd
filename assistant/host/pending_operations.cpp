// Session operations whose machinery is not built yet: recording and transcription. They keep their
// final signatures so the dispatcher is complete; until their machinery lands they leave the
// session as it is. The Whisper commands only ever act on a recording session, and there is none
// before recording exists.
#include "assistant/host/assistant.h"

namespace lumora {

void Assistant::start(const Request&) {}

void Assistant::finishRecording() {}

void Assistant::receiveWhisper(const Request&) {}

}  // namespace lumora
