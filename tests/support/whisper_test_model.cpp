#include "tests/support/whisper_test_model.h"

#include <ggml.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <stdexcept>
#include <vector>

namespace lumora::test_support {
namespace {

constexpr std::uint32_t ggmlMagic = 0x67676d6c;
constexpr std::int32_t englishVocabulary = 51864;
constexpr std::int32_t audioContext = 1500;
constexpr std::int32_t textContext = 448;
constexpr std::int32_t mels = 80;
constexpr std::int32_t fftBins = 201;

struct Shape {
    std::int32_t state, heads, layers;
};

Shape shapeOf(WhisperShape shape) {
    return shape == WhisperShape::tiny ? Shape{384, 6, 4} : Shape{512, 8, 6};
}

class ModelWriter {
  public:
    ModelWriter(const std::string& path, ggml_type weights)
        : file_(path, std::ios::binary), weights_(weights), random_(20261210) {}

    template <class T>
    void value(T v) {
        file_.write(reinterpret_cast<const char*>(&v), sizeof v);
    }

    // A tensor of `extents` (innermost first) of `type`: `fill` for norms' weights, else
    // random values around zero.
    void tensor(const std::string& name, std::vector<std::int32_t> extents, ggml_type type,
                std::optional<float> fill = std::nullopt) {
        std::int64_t count = 1;
        for (std::int32_t extent : extents) count *= extent;
        std::vector<float> values(static_cast<std::size_t>(count));
        std::normal_distribution<float> around(0.0f, 0.05f);
        for (float& v : values) v = fill ? *fill : around(random_);
        value<std::int32_t>(static_cast<std::int32_t>(extents.size()));
        value<std::int32_t>(static_cast<std::int32_t>(name.size()));
        value<std::int32_t>(type);
        for (std::int32_t extent : extents) value(extent);
        file_.write(name.data(), static_cast<std::streamsize>(name.size()));
        std::vector<char> data(ggml_row_size(type, extents[0]) * (count / extents[0]));
        if (type == GGML_TYPE_F32) {
            std::memcpy(data.data(), values.data(), data.size());
        } else if (type == GGML_TYPE_F16) {
            ggml_fp32_to_fp16_row(values.data(), reinterpret_cast<ggml_fp16_t*>(data.data()),
                                  count);
        } else {
            ggml_quantize_chunk(type, values.data(), data.data(), 0, count / extents[0], extents[0],
                                nullptr);
        }
        file_.write(data.data(), static_cast<std::streamsize>(data.size()));
    }
    // A weight matrix of the model's weight type.
    void weight(const std::string& name, std::int32_t in, std::int32_t out) {
        tensor(name, {in, out}, weights_);
    }
    void vector(const std::string& name, std::int32_t size, std::optional<float> fill = {}) {
        tensor(name, {size}, GGML_TYPE_F32, fill);
    }
    void layerNorm(const std::string& name, std::int32_t size) {
        vector(name + ".weight", size, 1.0f);
        vector(name + ".bias", size, 0.0f);
    }
    // Query, key (no bias), value and output projections of attention block `name`.
    void attention(const std::string& name, std::int32_t state) {
        for (const char* part : {"query", "key", "value", "out"}) {
            weight(name + "." + part + ".weight", state, state);
            if (std::string(part) != "key") vector(name + "." + part + ".bias", state);
        }
    }
    void perceptron(const std::string& name, std::int32_t state) {
        weight(name + ".0.weight", state, 4 * state);
        vector(name + ".0.bias", 4 * state);
        weight(name + ".2.weight", 4 * state, state);
        vector(name + ".2.bias", state);
    }
    bool good() const { return file_.good(); }
    std::uintmax_t written() { return static_cast<std::uintmax_t>(file_.tellp()); }

  private:
    std::ofstream file_;
    ggml_type weights_;
    std::mt19937 random_;
};

}  // namespace

WhisperTestModel writeWhisperTestModel(const std::string& path, WhisperShape shape,
                                       WhisperWeights weights) {
    const Shape s = shapeOf(shape);
    const bool quantised = weights == WhisperWeights::q5_1;
    const ggml_type weightType = quantised ? GGML_TYPE_Q5_1 : GGML_TYPE_F16;
    ModelWriter model(path, weightType);
    model.value(ggmlMagic);
    for (std::int32_t h : {englishVocabulary, audioContext, s.state, s.heads, s.layers, textContext,
                           s.state, s.heads, s.layers, mels}) {
        model.value(h);
    }
    // A quantised file's type carries the quantisation version, as whisper.cpp's own tool writes.
    model.value<std::int32_t>(quantised ? GGML_FTYPE_MOSTLY_Q5_1 +
                                              GGML_QNT_VERSION * GGML_QNT_VERSION_FACTOR
                                        : GGML_FTYPE_MOSTLY_F16);
    model.value(mels);
    model.value(fftBins);
    std::mt19937 random(7);
    std::uniform_real_distribution<float> filter(0.0f, 0.02f);
    for (int i = 0; i < mels * fftBins; ++i) model.value(filter(random));
    // Byte-level tokens, as Whisper's vocabulary begins, then made-up word pieces.
    model.value(englishVocabulary);
    for (std::int32_t token = 0; token < englishVocabulary; ++token) {
        const std::string text =
            token < 256 ? std::string(1, static_cast<char>(token)) : " w" + std::to_string(token);
        model.value<std::uint32_t>(static_cast<std::uint32_t>(text.size()));
        for (char c : text) model.value(c);
    }
    const std::uintmax_t weightsAt = model.written();
    const ggml_type convolution = GGML_TYPE_F16;
    model.tensor("encoder.positional_embedding", {s.state, audioContext}, GGML_TYPE_F32);
    model.tensor("encoder.conv1.weight", {3, mels, s.state}, convolution);
    model.tensor("encoder.conv1.bias", {1, s.state}, GGML_TYPE_F32);
    model.tensor("encoder.conv2.weight", {3, s.state, s.state}, convolution);
    model.tensor("encoder.conv2.bias", {1, s.state}, GGML_TYPE_F32);
    model.layerNorm("encoder.ln_post", s.state);
    for (int layer = 0; layer < s.layers; ++layer) {
        const std::string block = "encoder.blocks." + std::to_string(layer);
        model.layerNorm(block + ".mlp_ln", s.state);
        model.perceptron(block + ".mlp", s.state);
        model.layerNorm(block + ".attn_ln", s.state);
        model.attention(block + ".attn", s.state);
    }
    model.tensor("decoder.positional_embedding", {s.state, textContext}, GGML_TYPE_F32);
    model.weight("decoder.token_embedding.weight", s.state, englishVocabulary);
    model.layerNorm("decoder.ln", s.state);
    for (int layer = 0; layer < s.layers; ++layer) {
        const std::string block = "decoder.blocks." + std::to_string(layer);
        model.layerNorm(block + ".mlp_ln", s.state);
        model.perceptron(block + ".mlp", s.state);
        model.layerNorm(block + ".attn_ln", s.state);
        model.attention(block + ".attn", s.state);
        model.layerNorm(block + ".cross_attn_ln", s.state);
        model.attention(block + ".cross_attn", s.state);
    }
    if (!model.good()) throw std::runtime_error("cannot write the Whisper test model " + path);
    return {path, weightsAt};
}

const WhisperTestModel& tinyWhisperTestModel() {
    static const WhisperTestModel model = [] {
        const std::string file = std::filesystem::temp_directory_path() /
                                 ("lumora-whisper-tiny-" + std::to_string(::getpid()) + ".bin");
        static struct Removal {
            std::string file;
            ~Removal() { std::filesystem::remove(file); }
        } removal{file};
        return writeWhisperTestModel(file, WhisperShape::tiny, WhisperWeights::f16);
    }();
    return model;
}

}  // namespace lumora::test_support
