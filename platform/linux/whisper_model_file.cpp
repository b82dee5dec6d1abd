#include "platform/linux/whisper_model_file.h"

#include <ggml.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace lumora::platform {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t ggmlMagic = 0x67676d6c;  // "ggml"
constexpr std::int32_t multilingualVocabulary = 51865;
// ftype carries the quantisation version above this factor.
constexpr std::int32_t quantisationVersionFactor = 1000;
// What every Whisper model has, and whisper.cpp assumes without checking: a file that differs
// makes it write past its buffers, index past its vocabulary or fail an allocation it does not
// look at. The vocabularies are English-only, multilingual, and large-v3's.
constexpr std::int32_t vocabularies[] = {51864, 51865, 51866};
constexpr std::int32_t widths[] = {384, 512, 768, 1024, 1280};
constexpr std::int32_t headWidth = 64;
constexpr std::int32_t maxLayers = 32;
constexpr std::int32_t audioContext = 1500;  // thirty seconds of audio
constexpr std::int32_t textContext = 448;
constexpr std::int32_t filterBins = 201;  // a 400-sample FFT's
// Bounds no real model comes near, so that a foreign file cannot make the walk allocate or loop
// without end.
constexpr std::int32_t maxNameBytes = 256;
constexpr std::int32_t maxTokenBytes = 1 << 16;

struct Hyperparameters {
    std::int32_t vocabulary, audioContext, audioState, audioHeads, audioLayers;
    std::int32_t textContext, textState, textHeads, textLayers, mels, fileType;
};

// Reads the file front to back, remembering whether every read was whole.
class Reader {
  public:
    explicit Reader(const std::string& path) : file_(path, std::ios::binary) {
        file_.seekg(0, std::ios::end);
        size_ = static_cast<std::uint64_t>(std::max<std::streamoff>(file_.tellg(), 0));
        file_.seekg(0);
    }
    bool opened() const { return file_.is_open(); }
    bool whole() const { return whole_; }
    std::uint64_t remaining() { return size_ - static_cast<std::uint64_t>(file_.tellg()); }

    template <class T>
    T value() {
        T read{};
        bytes(&read, sizeof read);
        return read;
    }
    void bytes(void* into, std::size_t count) {
        if (!whole_) return;
        file_.read(static_cast<char*>(into), static_cast<std::streamsize>(count));
        whole_ = file_.gcount() == static_cast<std::streamsize>(count);
    }
    // Skips `count` bytes that must be inside the file.
    void skip(std::uint64_t count) {
        if (!whole_ || count > remaining()) {
            whole_ = false;
            return;
        }
        file_.seekg(static_cast<std::streamoff>(count), std::ios::cur);
    }

  private:
    std::ifstream file_;
    std::uint64_t size_ = 0;
    bool whole_ = true;
};

// What whisper.cpp asserts, or assumes, of a model's shape: a file that breaks it would end
// the process instead of failing to load.
bool loadable(const Hyperparameters& h) {
    auto oneOf = [](std::int32_t value, const auto& allowed) {
        return std::find(std::begin(allowed), std::end(allowed), value) != std::end(allowed);
    };
    return oneOf(h.vocabulary, vocabularies) && oneOf(h.audioState, widths) &&
           h.textState == h.audioState && h.audioHeads == h.audioState / headWidth &&
           h.textHeads == h.textState / headWidth && h.audioLayers >= 1 &&
           h.audioLayers <= maxLayers && h.textLayers >= 1 && h.textLayers <= maxLayers &&
           h.audioContext == audioContext && h.textContext == textContext &&
           (h.mels == 80 || h.mels == 128);
}

// The file types whisper.cpp's own tool writes: floats, and the classic and k-quantisations.
// ggml turns any other into no weight type and aborts.
bool knownWeightType(std::int32_t fileType) {
    constexpr std::int32_t known[] = {0, 1, 2, 3, 7, 8, 9, 10, 11, 12, 13, 14};
    return std::find(std::begin(known), std::end(known), fileType) != std::end(known);
}

std::string sizeName(std::int32_t audioLayers) {
    switch (audioLayers) {
        case 4:
            return "tiny";
        case 6:
            return "base";
        case 12:
            return "small";
        case 24:
            return "medium";
        case 32:
            return "large";
        default:
            return "custom";
    }
}

// The tensors whisper.cpp creates for the model's shape: the encoder's seven and fifteen a
// layer, the decoder's four and twenty-four a layer.
std::int64_t expectedTensors(const Hyperparameters& h) {
    return 7 + 15 * std::int64_t{h.audioLayers} + 4 + 24 * std::int64_t{h.textLayers};
}

// Walks one tensor record; the problem, if any.
std::optional<std::string> skipTensor(Reader& reader) {
    const auto dimensions = reader.value<std::int32_t>();
    const auto nameBytes = reader.value<std::int32_t>();
    const auto type = reader.value<std::int32_t>();
    if (!reader.whole()) return "it ends inside a tensor's header";
    if (dimensions < 1 || dimensions > 4 || nameBytes < 1 || nameBytes > maxNameBytes || type < 0 ||
        type >= GGML_TYPE_COUNT || ggml_blck_size(static_cast<ggml_type>(type)) == 0) {
        return "a tensor's header is not one whisper.cpp reads";
    }
    const auto ggmlType = static_cast<ggml_type>(type);
    std::uint64_t elements = 1;
    for (int d = 0; d < dimensions; ++d) {
        const auto extent = reader.value<std::int32_t>();
        if (extent < 1 ||
            __builtin_mul_overflow(elements, static_cast<std::uint64_t>(extent), &elements)) {
            return "a tensor's header is not one whisper.cpp reads";
        }
    }
    const std::uint64_t block = ggml_blck_size(ggmlType);
    if (elements % block != 0) return "a tensor's header is not one whisper.cpp reads";
    std::uint64_t bytes = 0;
    if (__builtin_mul_overflow(elements / block, ggml_type_size(ggmlType), &bytes)) {
        return "a tensor's header is not one whisper.cpp reads";
    }
    reader.skip(static_cast<std::uint64_t>(nameBytes));
    reader.skip(bytes);
    if (!reader.whole()) return "it ends inside a tensor";
    return std::nullopt;
}

WhisperModelCheck problem(const std::string& path, const std::string& what) {
    return {std::nullopt, path + " " + what + "."};
}

}  // namespace

WhisperModelCheck inspectWhisperModel(const std::string& path) {
    std::error_code error;
    if (!fs::is_regular_file(path, error)) return problem(path, "does not exist");
    Reader reader(path);
    if (!reader.opened()) return problem(path, "cannot be read");
    if (reader.value<std::uint32_t>() != ggmlMagic || !reader.whole()) {
        return problem(path, "is not a Whisper model in whisper.cpp's format");
    }
    const auto h = reader.value<Hyperparameters>();
    const std::int32_t weightType = h.fileType % quantisationVersionFactor;
    const auto filterMels = reader.value<std::int32_t>();
    const auto filterBinsRead = reader.value<std::int32_t>();
    if (!reader.whole() || !loadable(h) || !knownWeightType(weightType) || filterMels != h.mels ||
        filterBinsRead != filterBins) {
        return problem(path, "is not a Whisper model whisper.cpp can load");
    }
    reader.skip(std::uint64_t{sizeof(float)} * filterMels * filterBins);
    const auto tokens = reader.value<std::int32_t>();
    if (tokens < 0 || tokens > h.vocabulary) {
        return problem(path, "is not a Whisper model whisper.cpp can load");
    }
    for (std::int32_t t = 0; reader.whole() && t < tokens; ++t) {
        const auto length = reader.value<std::uint32_t>();
        if (length > maxTokenBytes)
            return problem(path, "is not a Whisper model whisper.cpp can load");
        reader.skip(length);
    }
    if (!reader.whole()) return problem(path, "is truncated: it ends before its weights");
    std::int64_t tensors = 0;
    while (reader.remaining() > 0) {
        if (std::optional<std::string> wrong = skipTensor(reader)) {
            return problem(path, "is truncated or damaged: " + *wrong);
        }
        ++tensors;
    }
    if (tensors != expectedTensors(h)) {
        std::ostringstream what;
        what << "holds " << tensors << " tensors where a Whisper model of its shape has "
             << expectedTensors(h);
        return problem(path, what.str());
    }
    const ggml_type type = ggml_ftype_to_ggml_type(static_cast<ggml_ftype>(weightType));
    return {WhisperModelInfo{path, h.vocabulary >= multilingualVocabulary, sizeName(h.audioLayers),
                             ggml_type_name(type)},
            ""};
}

std::optional<std::string> chosenWhisperModel(const EnvironmentLookup& environment) {
    auto named = [&](const char* name) {
        std::optional<std::string> value = environment(name);
        return value && !value->empty() ? value : std::nullopt;
    };
    if (std::optional<std::string> file = named("LUMORA_WHISPER_MODEL")) return file;
    std::vector<fs::path> folders;
    if (std::optional<std::string> data = named("XDG_DATA_HOME")) {
        folders.emplace_back(*data);
    } else if (std::optional<std::string> home = named("HOME")) {
        folders.push_back(fs::path(*home) / ".local/share");
    }
    std::istringstream system(named("XDG_DATA_DIRS").value_or("/usr/local/share:/usr/share"));
    for (std::string folder; std::getline(system, folder, ':');) {
        if (!folder.empty()) folders.emplace_back(folder);
    }
    for (const fs::path& folder : folders) {
        std::error_code error;
        std::vector<std::string> models;
        for (const auto& entry : fs::directory_iterator(folder / "lumora/whisper", error)) {
            const std::string name = entry.path().filename().string();
            if (name.starts_with("ggml-") && name.ends_with(".bin")) models.push_back(entry.path());
        }
        if (!models.empty()) return *std::min_element(models.begin(), models.end());
    }
    return std::nullopt;
}

}  // namespace lumora::platform
