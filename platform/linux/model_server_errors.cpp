#include "platform/linux/model_server_errors.h"

#include <simdjson.h>

namespace lumora::platform::ModelServerErrors {
namespace {

enum Code {
    noModel = 1,
    noServer,
    loading,
    refusal,
    serverFailure,
    ended,
    malformed,
    oversized,
    noImages
};

constexpr std::size_t maxMessageBytes = 200;

Error error(Code code, std::string description) {
    return Error(std::string(domain), code, std::move(description));
}

// A server's own message ends the sentence; one that already ends in a stop keeps it.
std::string sentence(std::string text) {
    if (text.empty()) return "no reason given.";
    const char last = text.back();
    if (last != '.' && last != '!' && last != '?') text += '.';
    return text;
}

}  // namespace

std::string serverMessage(std::string_view body) {
    simdjson::dom::parser parser;
    simdjson::dom::element parsed;
    if (parser.parse(body.data(), body.size()).get(parsed) == simdjson::SUCCESS) {
        for (auto found : {parsed["error"]["message"], parsed["error"], parsed["message"]}) {
            std::string_view message;
            if (found.get(message) == simdjson::SUCCESS) {
                return std::string(message.substr(0, maxMessageBytes));
            }
        }
    }
    return std::string(body.substr(0, maxMessageBytes));
}

Error unavailable(const std::string& description) {
    return error(noModel, "No local model server can answer: " + description + ".");
}

Error notAnswering(const std::string& url) {
    return error(noServer, "No model server answers at " + url + ".");
}

Error stillLoading(const std::string& url) {
    return error(loading, "The model server at " + url + " is still loading its model.");
}

Error refused(long status, const std::string& message) {
    return error(refusal, "The model server refused the request (HTTP " + std::to_string(status) +
                              "): " + sentence(message));
}

Error failedWhileAnswering(const std::string& message) {
    return error(serverFailure, "The model server failed while answering: " + sentence(message));
}

Error cutShort() {
    return error(ended, "The model server stopped before finishing its answer.");
}

Error unreadable() {
    return error(malformed, "The model server sent an answer that could not be read.");
}

Error tooLong(std::size_t limit) {
    return error(oversized, "The model's answer grew beyond " + std::to_string(limit / 1024) +
                                " KiB and was stopped.");
}

Error imagesRefused() {
    return error(noImages, "The model server's model no longer takes images.");
}

}  // namespace lumora::platform::ModelServerErrors
