// Validation and dispatch of one decoded request: the protocol and request-ID check for every
// type, then hello, the relay types, and, behind the reader-identity check, page OCR.
#pragma once

#include "platform/http.h"
#include "platform/images.h"
#include "platform/system.h"
#include "platform/workspace.h"
#include "reader-host/page_recognizer.h"
#include "reader-host/request.h"
#include "runtime/json.h"

namespace lumora::ReaderHost {

inline constexpr std::string_view invalidProtocolOrRequestId = "Invalid protocol or request ID";
inline constexpr std::string_view helloEngine = "Apple Vision / Lumora app relay";

struct Services {
    platform::System& system;
    platform::Images& images;
    PageRecognizer& recognizer;
    platform::Http& http;
    // Null where the platform keeps no registry of installed applications.
    platform::Workspace* workspace = nullptr;
};

// The success response; throws the request's failure, whose description goes to the browser.
json::Document process(Request request, Services& services);

}  // namespace lumora::ReaderHost
