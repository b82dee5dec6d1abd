// HTTP POST through libcurl, for loopback peers only: proxies named in the environment are
// ignored, redirects are not followed, only plain HTTP is spoken, the whole exchange is bounded
// by the request's timeout, and a reply is cut off (not buffered) once it passes its limit.
#pragma once

#include "platform/http.h"

namespace lumora::platform {

class CurlHttp final : public Http {
  public:
    // Thread-safe: every call has its own transfer.
    HttpResponse post(const HttpRequest& request) override;
};

}  // namespace lumora::platform
