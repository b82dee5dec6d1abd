#include "assistant/generation/protocol_error.h"

namespace lumora {

namespace {

constexpr const char* protocolDomain = "Lumora.AssistantProtocol";

const char* descriptionOf(AssistantProtocolError::Kind kind) {
    switch (kind) {
        case AssistantProtocolError::Kind::invalidMarker:
            return "The local model returned an invalid Assistant response. Try again.";
        case AssistantProtocolError::Kind::missingSelection:
            return "Select some text before asking Lumora to read it aloud.";
        case AssistantProtocolError::Kind::emptyResponse:
            return "The local model returned an empty Assistant response. Try again.";
    }
    return "";
}

}  // namespace

AssistantProtocolError::AssistantProtocolError(Kind kind, std::string payload)
    : Error(protocolDomain, static_cast<int>(kind), descriptionOf(kind)),
      kind(kind),
      payload(std::move(payload)) {}

AssistantProtocolError AssistantProtocolError::invalidMarker(std::string payload) {
    return {Kind::invalidMarker, std::move(payload)};
}

AssistantProtocolError AssistantProtocolError::missingSelection() {
    return {Kind::missingSelection, ""};
}

AssistantProtocolError AssistantProtocolError::emptyResponse() {
    return {Kind::emptyResponse, ""};
}

}  // namespace lumora
