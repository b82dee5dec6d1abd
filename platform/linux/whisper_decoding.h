// The recognition of one request by whisper.cpp, on its task's worker. Whisper decodes whole
// stretches of audio, not a stream, so while the user speaks the audio heard so far is decoded
// again and again, one decode at a time, each over all that arrived meanwhile (a slow decode
// skips ahead rather than queueing), and each limited to the audio it has instead of Whisper's
// padded thirty-second window. When the audio ends, a decode in flight is abandoned for the
// final one. Decoding is greedy, with no fallback to higher temperatures.
#pragma once

#include <memory>
#include <string>

#include "platform/linux/recognition_worker.h"

struct whisper_context;

namespace lumora::platform {

// whisper.cpp and ggml write their progress to standard error, which is the app's log: once,
// before anything of theirs runs, they are told to keep quiet.
void silenceWhisperLogging();

// A model whisper.cpp has loaded, shared by the tasks; each decode has its own state.
class WhisperModel {
  public:
    // None when whisper.cpp cannot load the file.
    static std::shared_ptr<WhisperModel> load(const std::string& path);
    ~WhisperModel();
    WhisperModel(const WhisperModel&) = delete;
    WhisperModel& operator=(const WhisperModel&) = delete;

    whisper_context* context() const { return context_; }

  private:
    explicit WhisperModel(whisper_context* context) : context_(context) {}
    whisper_context* context_;
};

// Decodes the worker's audio in `language` ("en", "de" …) on `threads` threads. Throws
// lumora::Error when the audio cannot be converted or decoded.
void decodeWithWhisper(const WhisperModel& model, const std::string& language, int threads,
                       RecognitionWorker& worker);

}  // namespace lumora::platform
