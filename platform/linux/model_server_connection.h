// HTTP exchanges with one local model server, each its own transfer, so calls may come from any
// thread. An API key, when there is one, goes with every request as a bearer token.
#pragma once

#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

namespace lumora::platform {

struct ModelServerReply {
    long status = 0;
    std::string body;
};

class ModelServerConnection {
  public:
    ModelServerConnection(std::string url, std::optional<std::string> apiKey)
        : url_(std::move(url)), apiKey_(std::move(apiKey)) {}

    const std::string& url() const { return url_; }

    // GETs `path`, or POSTs `body` as JSON to it, and returns the whole reply, bounded in time
    // and size. Throws lumora::Error ("Lumora.HTTP") when no reply arrives.
    ModelServerReply fetch(const std::string& path, const std::optional<std::string>& body,
                           double timeoutSeconds) const;

    // POSTs `body` to `path` and hands each piece of a 200 reply to `receive` on this thread as
    // it arrives, until the reply ends; any other reply comes back whole instead. Requesting
    // `stop` closes the connection at once and throws Cancelled; an exception from `receive`
    // ends the transfer and propagates.
    ModelServerReply stream(const std::string& path, const std::string& body,
                            const std::function<void(std::string_view)>& receive,
                            std::stop_token stop) const;

  private:
    std::string url_;
    std::optional<std::string> apiKey_;
};

}  // namespace lumora::platform
