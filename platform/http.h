// HTTP POST for the reader host's loopback relay.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace lumora::platform {

struct HttpRequest {
    std::string url;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    double timeoutSeconds = 8;
    // Receiving stops as soon as the reply grows beyond this many bytes.
    std::size_t maxResponseBytes = 0;
};

struct HttpResponse {
    long status = 0;
    std::string body;
    bool truncated = false;  // the reply exceeded maxResponseBytes
};

class Http {
  public:
    virtual ~Http() = default;
    // Follows no redirects and uses no proxy. Throws lumora::Error on transport failure.
    virtual HttpResponse post(const HttpRequest& request) = 0;
};

}  // namespace lumora::platform
