#include "reader-host/relay.h"

#include <array>
#include <utility>

#include "reader-host/bridge_file.h"
#include "reader-host/failure.h"
#include "reader-host/json_container.h"
#include "reader-host/response.h"
#include "runtime/atomic_file.h"

namespace lumora::ReaderHost {
namespace {

constexpr std::array<std::pair<std::string_view, std::string_view>, 6> endpoints = {{
    {"relay-register", "register"},
    {"relay-poll", "poll"},
    {"relay-reply", "reply"},
    {"relay-disconnect", "disconnect"},
    {"relay-controls", "controls"},
    {"relay-control", "control"},
}};

Bridge readBridge(platform::System& system) {
    const auto contents = files::readAll(bridgePath(system.homeDirectory()));
    const auto bridge = contents ? parseBridge(*contents) : std::nullopt;
    if (!bridge) throw failure(relayNotConnected);
    return *bridge;
}

platform::HttpRequest appRequest(const Bridge& bridge, std::string_view endpoint,
                                 const std::string& payload) {
    platform::HttpRequest request;
    request.url = "http://127.0.0.1:" + std::to_string(bridge.port) + "/" + std::string(endpoint);
    request.headers = {{"Authorization", "Bearer " + bridge.token},
                       {"Content-Type", "application/json"}};
    request.body = payload;
    request.timeoutSeconds = relayTimeoutSeconds;
    request.maxResponseBytes = maxRelayReplyBytes;
    return request;
}

}  // namespace

std::optional<std::string_view> relayEndpoint(std::string_view type) {
    for (const auto& [relayType, endpoint] : endpoints) {
        if (relayType == type) return endpoint;
    }
    return std::nullopt;
}

json::Document relay(const Request& request, platform::System& system, platform::Http& http) {
    const auto endpoint = relayEndpoint(request.type);
    if (!endpoint || !request.payload || request.payload->size() > maxRelayPayloadBytes)
        throw failure(invalidRelayRequest);
    simdjson::dom::parser parser;
    if (parseContainer(parser, *request.payload).is_array()) throw failure(invalidRelayRequest);

    const Bridge bridge = readBridge(system);
    const platform::HttpResponse reply = http.post(appRequest(bridge, *endpoint, *request.payload));

    if (reply.truncated || reply.body.size() > maxRelayReplyBytes) throw failure(invalidAppReply);
    const simdjson::dom::element answer = parseContainer(parser, reply.body);
    if (answer.is_array()) throw failure(invalidAppReply);
    if (reply.status == 200) {
        json::Document response = successResponse(request.requestId);
        response["data"] = toDocument(answer);
        return response;
    }
    std::string_view message;
    if (answer["error"].get(message) == simdjson::SUCCESS) throw failure(message);
    throw failure(relayRefused);
}

}  // namespace lumora::ReaderHost
