// One command line from the app, decoded. Every field but `command` and `id` is optional and
// absent when its key is missing or null; unknown keys are ignored.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/json.h"

namespace lumora {

enum class AssistantProvider { local, cloud };

std::optional<AssistantProvider> assistantProviderFromRaw(std::string_view raw);
std::string_view rawValue(AssistantProvider provider);

struct Request {
    std::string command;
    std::uint64_t id = 0;
    std::optional<std::string> mode;
    std::optional<AssistantProvider> provider;
    std::optional<std::string> action;
    std::optional<std::string> message;
    std::optional<std::string> language;
    std::optional<std::string> transcriptionEngine;
    std::optional<std::string> instruction;
    std::optional<std::string> context;
    std::optional<std::string> output;
    std::optional<std::string> text;
    std::optional<std::string> key;
    std::optional<std::string> modifiers;
    std::optional<bool> restore;
    std::optional<bool> restoreClipboard;
    std::optional<std::map<std::string, std::string>> holdBindings;

    bool operator==(const Request&) const = default;

    bool isAssistantMode() const { return mode == "assistant"; }
    bool usesWhisper() const { return transcriptionEngine == "whisper"; }
};

// Decodes command lines; keeps its parser's buffers between lines, so reuse one per thread.
class RequestDecoder {
  public:
    // None for anything that is not one JSON object with a string `command`, an unsigned
    // 64-bit `id` and optional fields of the right types.
    std::optional<Request> decode(std::string_view line);

  private:
    simdjson::ondemand::parser parser_;
    // The line, copied with the spare bytes simdjson reads past its end.
    std::string padded_;
};

}  // namespace lumora
