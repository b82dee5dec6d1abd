// How a model's answer can break the delivery protocol. Each case carries the user-facing
// description the pipeline reports; the payload of invalidMarker is for diagnosis only.
#pragma once

#include <string>

#include "runtime/error.h"

namespace lumora {

struct AssistantProtocolError : Error {
    enum class Kind { invalidMarker, missingSelection, emptyResponse };

    // `payload`: the start of the offending output, or the offending action name.
    static AssistantProtocolError invalidMarker(std::string payload);
    static AssistantProtocolError missingSelection();
    static AssistantProtocolError emptyResponse();

    Kind kind;
    std::string payload;

    bool operator==(const AssistantProtocolError& other) const {
        return kind == other.kind && payload == other.payload;
    }

  private:
    AssistantProtocolError(Kind kind, std::string payload);
};

}  // namespace lumora
