// Where the local model server is and which models to ask, from the environment:
//   LUMORA_MODEL_SERVER_URL   the server's base URL (http only, this computer only); unset,
//                             llama-server's and Ollama's usual local addresses are tried
//   LUMORA_MODEL              the model for the standard configuration; unset, the server's first
//   LUMORA_MODEL_GENERAL      the model for general use with permissive transformations;
//                             unset, the standard one
//   LUMORA_MODEL_API_KEY      a bearer token, for servers that require one
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumora::platform {

struct ModelServerAddress {
    std::string root;     // "http://host:port"
    std::string apiPath;  // the OpenAI-compatible API under it, "/v1" unless the URL names one
    bool operator==(const ModelServerAddress&) const = default;
};

// The address of a loopback URL, or why it is refused (not http, not this computer, not a URL).
struct ParsedServerAddress {
    std::optional<ModelServerAddress> address;
    std::string refusal;
};
ParsedServerAddress parseModelServerAddress(std::string_view url);

struct ModelServerSettings {
    std::vector<ModelServerAddress> candidates;  // tried in order; the first answering serves
    bool named = false;                          // the candidate is the user's, not a guess
    std::string refusal;                         // set when the configured URL is refused
    std::optional<std::string> standardModel;
    std::optional<std::string> generalModel;
    std::optional<std::string> apiKey;
};

using Environment = std::function<std::optional<std::string>(const char* name)>;
ModelServerSettings modelServerSettings(const Environment& environment);

}  // namespace lumora::platform
