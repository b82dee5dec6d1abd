#include <limits>

#include "platform/sim/scenario_sections.h"
#include "platform/sim/scenario_values.h"

namespace lumora::sim {

namespace {

constexpr std::int64_t maxInt = std::numeric_limits<int>::max();

ScriptedResult readResult(ScenarioObject object) {
    ScriptedResult scripted;
    platform::RecognitionResult& result = scripted.result;
    result.formattedString = object.string("text").value_or("");
    result.isFinal = object.boolean("final").value_or(false);
    result.hasSpeechRecognitionMetadata = object.boolean("metadata").value_or(false);
    for (auto& segment : object.objects("segments")) {
        result.segments.push_back(
            {segment.number("timestamp").value_or(0), segment.number("duration").value_or(0)});
        segment.finish();
    }
    scripted.afterAudio = object.number("afterAudio");
    if (scripted.afterAudio && *scripted.afterAudio < 0)
        object.fail("afterAudio", "must not be negative");
    object.finish();
    return scripted;
}

std::optional<platform::ModelConfiguration> readConfiguration(ScenarioObject& object) {
    auto name = object.string("configuration");
    if (!name) return std::nullopt;
    if (*name == "standard") return platform::ModelConfiguration::standard;
    if (*name == "generalPermissive") return platform::ModelConfiguration::generalPermissive;
    object.fail("configuration", "must be \"standard\" or \"generalPermissive\"");
}

// The default reply answers whatever no scripted reply matched, so it takes no conditions.
ModelReply readReply(ScenarioObject object, bool conditional) {
    ModelReply reply;
    if (conditional) {
        reply.match = object.string("match");
        reply.instructionsMatch = object.string("instructionsMatch");
        reply.configuration = readConfiguration(object);
    }
    reply.text = object.string("text").value_or("");
    if (auto error = object.object("error")) reply.error = readError(std::move(*error));
    reply.chunkSize = static_cast<std::size_t>(object.integer("chunkSize", 1, maxInt).value_or(8));
    reply.chunkInterval = object.number("chunkInterval").value_or(0);
    if (reply.chunkInterval < 0) object.fail("chunkInterval", "must not be negative");
    if (auto stall = object.integer("stallsAfter", 0, maxInt)) {
        reply.stallsAfter = static_cast<std::size_t>(*stall);
    }
    object.finish();
    return reply;
}

}  // namespace

void readSpeech(ScenarioObject section, SpeechState& speech) {
    speech.locales = section.strings("locales").value_or(speech.locales);
    if (auto recognizers = section.object("recognizers")) {
        for (const auto& locale : recognizers->keys()) {
            auto entry = recognizers->object(locale);
            speech.recognizers[locale] = {entry->boolean("available").value_or(true),
                                          entry->boolean("onDevice").value_or(true)};
            entry->finish();
        }
        recognizers->finish();
    }
    for (auto& result : section.objects("results")) {
        speech.results.push_back(readResult(std::move(result)));
    }
    speech.error = section.string("error");
    section.finish();
}

void readAudio(ScenarioObject section, AudioState& audio) {
    audio.input.sampleRate = section.number("sampleRate").value_or(audio.input.sampleRate);
    // Zero, like no channels, is what a Mac without any input device reports.
    if (!(audio.input.sampleRate >= 0)) section.fail("sampleRate", "must not be negative");
    audio.input.channels =
        static_cast<std::uint32_t>(section.integer("channels", 0, 64).value_or(1));
    if (auto error = section.object("startError")) audio.startError = readError(std::move(*error));
    if (const auto* samples = section.member("samples")) {
        if (!samples->is_array()) section.fail("samples", "must be an array of numbers");
        for (const auto& sample : *samples) {
            if (!sample.is_number()) section.fail("samples", "must be an array of numbers");
            audio.samples.push_back(sample.get<float>());
        }
    }
    section.finish();
}

void readLanguageModel(ScenarioObject section, ModelState& model) {
    model.available = section.boolean("available").value_or(true);
    model.description =
        section.string("availability").value_or(model.available ? "available" : "unavailable");
    model.supportsImages = section.boolean("supportsImages").value_or(false);
    for (auto& reply : section.objects("replies")) {
        model.replies.push_back(readReply(std::move(reply), true));
    }
    if (auto reply = section.object("defaultReply")) {
        model.defaultReply = readReply(std::move(*reply), false);
    }
    section.finish();
}

}  // namespace lumora::sim
