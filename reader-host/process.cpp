#include "reader-host/process.h"

#include "reader-host/app_installation.h"
#include "reader-host/failure.h"
#include "reader-host/ocr_output.h"
#include "reader-host/page_ocr.h"
#include "reader-host/reader_identity.h"
#include "reader-host/relay.h"
#include "reader-host/response.h"
#include "runtime/uuid.h"

namespace lumora::ReaderHost {
namespace {

json::Document hello(const Request& request, Services& services) {
    json::Document response = successResponse(request.requestId);
    response["appInstalled"] = appInstalled(services.system, services.workspace);
    response["capabilities"] = {"local-ocr", "app-relay"};
    response["engine"] = helloEngine;
    return response;
}

std::optional<std::string> outputRoot(platform::System& system) {
    // An empty value names no directory.
    auto root = system.environment(std::string(outputVariable));
    if (root && root->empty()) root.reset();
    return root;
}

}  // namespace

json::Document process(Request request, Services& services) {
    if (request.protocolVersion != protocolVersion || !Uuid::parse(request.requestId))
        throw failure(invalidProtocolOrRequestId);
    if (request.type == "hello") return hello(request, services);
    if (request.type.starts_with("relay-")) return relay(request, services.system, services.http);
    if (!hasReaderIdentity(request)) throw failure(invalidReaderIdentity);
    if (request.type == "ocr") {
        return pageOcr(std::move(request),
                       {services.images, services.recognizer, outputRoot(services.system)});
    }
    throw failure(invalidOcrRequest);
}

}  // namespace lumora::ReaderHost
