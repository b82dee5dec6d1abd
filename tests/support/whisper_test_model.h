// Whisper models for the tests and benchmarks: whisper.cpp's file format and a real model's
// shape (tiny or base, English only), with seeded random weights instead of trained ones. What
// such a model transcribes is nonsense, but always the same nonsense for the same audio, and
// it costs what the real model of its shape costs. No real weights are packaged anywhere.
#pragma once

#include <cstdint>
#include <string>

namespace lumora::test_support {

enum class WhisperShape { tiny, base };
enum class WhisperWeights { f16, q5_1 };

struct WhisperTestModel {
    std::string path;
    std::uintmax_t weightsAt;  // where the vocabulary ends and the first tensor begins
};

// Writes the model to `path`. Throws std::runtime_error when it cannot.
WhisperTestModel writeWhisperTestModel(const std::string& path, WhisperShape shape,
                                       WhisperWeights weights);

// The tiny f16 model, written once per process into the temporary folder.
const WhisperTestModel& tinyWhisperTestModel();

}  // namespace lumora::test_support
