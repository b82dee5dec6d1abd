#include "platform/linux/model_server_probe.h"

#include <simdjson.h>

#include <algorithm>
#include <vector>

#include "platform/linux/model_server_errors.h"
#include "runtime/error.h"
#include "runtime/json.h"

namespace lumora::platform {
namespace {

ModelServerState unavailable(std::string_view reason, const std::string& what) {
    return {"unavailable(" + std::string(reason) + "): " + what, std::nullopt, "", "", "", false};
}

// The ids of an OpenAI model list ({"data": [{"id": ...}, ...]}); none when it is not one.
std::optional<std::vector<std::string>> modelIds(const std::string& body) {
    simdjson::dom::parser parser;
    simdjson::dom::array data;
    if (parser.parse(body)["data"].get(data) != simdjson::SUCCESS) return std::nullopt;
    std::vector<std::string> ids;
    for (simdjson::dom::element model : data) {
        std::string_view id;
        if (model["id"].get(id) != simdjson::SUCCESS) return std::nullopt;
        ids.emplace_back(id);
    }
    return ids;
}

bool looksLikeModelServer(const ModelServerReply& reply) {
    return reply.status == 503 || reply.status == 401 || reply.status == 403 ||
           (reply.status == 200 && modelIds(reply.body));
}

std::string quotedList(const std::vector<std::string>& ids) {
    std::string list;
    for (const std::string& id : ids) list += (list.empty() ? "\"" : ", \"") + id + "\"";
    return list;
}

// llama-server says so in its properties, Ollama in the model's capabilities; any other server
// is assumed to take text only.
bool modelTakesImages(const ModelServerConnection& server, const std::string& model, double bound) {
    simdjson::dom::parser parser;
    try {
        ModelServerReply props = server.fetch("/props", std::nullopt, bound);
        bool vision = false;
        if (props.status == 200 &&
            parser.parse(props.body)["modalities"]["vision"].get(vision) == simdjson::SUCCESS) {
            return vision;
        }
        ModelServerReply shown =
            server.fetch("/api/show", json::serialize(json::Document{{"model", model}}), bound);
        simdjson::dom::array capabilities;
        if (shown.status != 200 ||
            parser.parse(shown.body)["capabilities"].get(capabilities) != simdjson::SUCCESS) {
            return false;
        }
        return std::any_of(capabilities.begin(), capabilities.end(), [](simdjson::dom::element c) {
            std::string_view name;
            return c.get(name) == simdjson::SUCCESS && name == "vision";
        });
    } catch (const Error&) {
        return false;
    }
}

// The state of a server that answered the model list with `reply`.
ModelServerState stateOf(const ModelServerSettings& settings, const ModelServerAddress& address,
                         const ModelServerConnection& server, const ModelServerReply& reply,
                         double bound) {
    const std::string& url = address.root;
    if (reply.status == 503) {
        return unavailable("modelNotReady",
                           "the model server at " + url + " is still loading its model");
    }
    if (reply.status == 401 || reply.status == 403) {
        return unavailable("serverRefused",
                           "the model server at " + url +
                               (settings.apiKey ? " refused the key in LUMORA_MODEL_API_KEY"
                                                : " requires a key in LUMORA_MODEL_API_KEY"));
    }
    std::optional<std::vector<std::string>> ids;
    if (reply.status == 200) ids = modelIds(reply.body);
    if (!ids) {
        return unavailable("serverRefused", "the model server at " + url + " answered HTTP " +
                                                std::to_string(reply.status) + ": " +
                                                ModelServerErrors::serverMessage(reply.body));
    }
    if (ids->empty()) {
        return unavailable("modelNotServed", "the model server at " + url + " serves no model");
    }
    auto resolve = [&](const std::optional<std::string>& named) -> std::optional<std::string> {
        if (!named) return ids->front();
        if (std::find(ids->begin(), ids->end(), *named) == ids->end()) return std::nullopt;
        return named;
    };
    for (const std::optional<std::string>& named :
         {settings.standardModel, settings.generalModel}) {
        if (!resolve(named)) {
            return unavailable("modelNotServed", "the model server at " + url +
                                                     " does not serve \"" + *named +
                                                     "\"; it serves " + quotedList(*ids));
        }
    }
    ModelServerState state{"available",
                           server,
                           address.apiPath,
                           *resolve(settings.standardModel),
                           *resolve(settings.generalModel),
                           false};
    state.takesImages = modelTakesImages(server, state.generalModel, bound);
    return state;
}

}  // namespace

ModelServerState probeModelServer(const ModelServerSettings& settings, double boundSeconds) {
    if (!settings.refusal.empty()) return unavailable("serverNotAllowed", settings.refusal);
    std::string tried;
    for (const ModelServerAddress& address : settings.candidates) {
        ModelServerConnection server(address.root, settings.apiKey);
        try {
            ModelServerReply reply =
                server.fetch(address.apiPath + "/models", std::nullopt, boundSeconds);
            // Another program may hold a well-known port (8080 is many a development server's);
            // only the user's own address is taken at its word.
            if (settings.named || looksLikeModelServer(reply)) {
                return stateOf(settings, address, server, reply, boundSeconds);
            }
        } catch (const Error&) {
        }
        tried += (tried.empty() ? "" : " or ") + address.root;
    }
    return unavailable("serverNotRunning",
                       "no model server answers at " + tried +
                           "; start one, or name it in LUMORA_MODEL_SERVER_URL");
}

}  // namespace lumora::platform
