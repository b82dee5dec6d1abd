#include "platform/linux/curl_http.h"

#include <string>

#include "platform/linux/curl_loopback.h"

namespace lumora::platform {
namespace {

using CurlLoopback::check;

struct Receiver {
    HttpResponse& response;
    std::size_t limit;
};

// Returning less than was offered makes libcurl abort the transfer, so nothing past the limit
// is ever held.
std::size_t receive(char* data, std::size_t size, std::size_t count, void* context) {
    auto& receiver = *static_cast<Receiver*>(context);
    const std::size_t length = size * count;
    if (length > receiver.limit - receiver.response.body.size()) {
        receiver.response.truncated = true;
        return 0;
    }
    receiver.response.body.append(data, length);
    return length;
}

}  // namespace

HttpResponse CurlHttp::post(const HttpRequest& request) {
    char details[CURL_ERROR_SIZE];
    CurlLoopback::EasyHandle handle = CurlLoopback::open(request.url, details);
    CURL* curl = handle.get();
    CurlLoopback::HeaderList headers = CurlLoopback::headerList(request.headers);
    HttpResponse response;
    Receiver receiver{response, request.maxResponseBytes};

    check(curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS,
                           CurlLoopback::timeoutMilliseconds(request.timeoutSeconds)));
    check(curl_easy_setopt(curl, CURLOPT_POST, 1L));
    check(curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE,
                           static_cast<curl_off_t>(request.body.size())));
    check(curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.data()));
    check(curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get()));
    // A declared length above the limit is refused before any of the body arrives.
    check(curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE,
                           static_cast<curl_off_t>(request.maxResponseBytes)));
    check(curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, receive));
    check(curl_easy_setopt(curl, CURLOPT_WRITEDATA, &receiver));

    const CURLcode outcome = curl_easy_perform(curl);
    if (outcome == CURLE_FILESIZE_EXCEEDED) response.truncated = true;
    if (outcome != CURLE_OK && !response.truncated) CurlLoopback::fail(outcome, details);
    check(curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &response.status));
    return response;
}

}  // namespace lumora::platform
