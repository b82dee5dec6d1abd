// Whisper models on disk (whisper.cpp's ggml format): where the user put one, and whether a file
// is one, whole, before whisper.cpp is let near it. whisper.cpp reads past the end of a
// truncated file and takes one cut after its vocabulary for an empty test model, so every
// tensor is walked here first: its header, a known type, and its data inside the file.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace lumora::platform {

struct WhisperModelInfo {
    std::string path;
    bool multilingual = false;  // else English only
    std::string size;           // "tiny", "base", "small", "medium", "large", or "custom"
    std::string weightType;     // "f16", "q5_1" …
};

// A model, or the sentence that says what is wrong with the file.
struct WhisperModelCheck {
    std::optional<WhisperModelInfo> model;
    std::string problem;
};

WhisperModelCheck inspectWhisperModel(const std::string& path);

// The model file the user chose: the one LUMORA_WHISPER_MODEL names, else the first
// "ggml-*.bin" (by name) in lumora/whisper under the user's data folder ($XDG_DATA_HOME, else
// ~/.local/share), then under each system data folder ($XDG_DATA_DIRS, else /usr/local/share
// and /usr/share). None when there is none.
using EnvironmentLookup = std::function<std::optional<std::string>(const char* name)>;
std::optional<std::string> chosenWhisperModel(const EnvironmentLookup& environment);

}  // namespace lumora::platform
