// A phrase in a synthetic voice (espeak-ng) in a WAV file of its own, and what pocketsphinx
// makes of that file when it decodes it directly: the baseline that recognition of the same
// phrase through a microphone is held to.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/audio.h"

namespace lumora::test_support {

class SpokenPhrase {
  public:
    // Throws std::runtime_error when espeak-ng cannot speak it or the model does not load.
    explicit SpokenPhrase(std::string text);
    // A person's recording of `text`, in any format mpg123 reads (MP3). Throws
    // std::runtime_error when it cannot be read or the model does not load.
    static std::unique_ptr<SpokenPhrase> recorded(const std::string& recording, std::string text);
    ~SpokenPhrase();
    SpokenPhrase(const SpokenPhrase&) = delete;
    SpokenPhrase& operator=(const SpokenPhrase&) = delete;

    const std::string& path() const { return path_; }
    // The file's samples, one channel.
    const platform::AudioBuffer& audio() const { return audio_; }
    double seconds() const;
    // The same in the microphone's 1,024-frame buffers, the last one short.
    std::vector<platform::AudioBuffer> tapBuffers() const;
    // The decoder's final transcript of the file, converted as the microphone's audio is.
    const std::string& offlineTranscript() const { return offlineTranscript_; }
    // How many of the phrase's words `transcript` has, in order.
    std::size_t wordsMatched(const std::string& transcript) const;

  private:
    struct Recording {};
    SpokenPhrase(Recording, const std::string& recording, std::string text);
    // Reads the WAV file at path_ and decodes it offline.
    void hear();

    std::string folder_;
    std::string path_;
    std::vector<std::string> words_;
    platform::AudioBuffer audio_;
    std::string offlineTranscript_;
};

// The phrase of the speech tests, made once per process: one the US English model recognises
// whole however its audio falls into the decoder's 10 ms frames, which a phrase need not be:
// moving some others by a fraction of a frame changes their transcripts.
const SpokenPhrase& testPhrase();

}  // namespace lumora::test_support
