#include "platform/linux/curl_http.h"

#include <curl/curl.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>
#include <string>

#include "runtime/error.h"

namespace lumora::platform {
namespace {

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using HeaderList = std::unique_ptr<curl_slist, ListDeleter>;

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

[[noreturn]] void fail(CURLcode code, const char* details) {
    std::string description = *details != '\0' ? details : curl_easy_strerror(code);
    throw Error(std::string(CurlHttp::errorDomain), static_cast<int>(code), description);
}

void check(CURLcode code) {
    if (code != CURLE_OK) fail(code, "");
}

HeaderList headerList(const HttpRequest& request) {
    HeaderList list;
    auto append = [&](const std::string& line) {
        curl_slist* grown = curl_slist_append(list.get(), line.c_str());
        if (grown == nullptr) fail(CURLE_OUT_OF_MEMORY, "");
        list.release();
        list.reset(grown);
    };
    for (const auto& [name, value] : request.headers) append(name + ": " + value);
    // The body goes in the first write; waiting for "100 Continue" would only add a round trip.
    append("Expect:");
    return list;
}

long timeoutMilliseconds(double seconds) {
    // libcurl reads 0 as "no timeout"; a request always has one.
    if (!(seconds > 0)) return 1;
    return static_cast<long>(std::ceil(std::min(seconds, 86400.0) * 1000));
}

}  // namespace

CurlHttp::CurlHttp() {
    static std::once_flag initialised;
    std::call_once(initialised, [] { check(curl_global_init(CURL_GLOBAL_DEFAULT)); });
}

HttpResponse CurlHttp::post(const HttpRequest& request) {
    EasyHandle handle(curl_easy_init());
    if (!handle) fail(CURLE_FAILED_INIT, "");
    CURL* curl = handle.get();
    HeaderList headers = headerList(request);
    HttpResponse response;
    Receiver receiver{response, request.maxResponseBytes};
    char details[CURL_ERROR_SIZE] = {};

    check(curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, details));
    check(curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str()));
    check(curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http"));
    // An empty proxy disables http_proxy, all_proxy and the rest of the environment.
    check(curl_easy_setopt(curl, CURLOPT_PROXY, ""));
    check(curl_easy_setopt(curl, CURLOPT_NOPROXY, "*"));
    check(curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L));
    check(curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L));
    check(curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, timeoutMilliseconds(request.timeoutSeconds)));
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
    if (outcome != CURLE_OK && !response.truncated) fail(outcome, details);
    check(curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &response.status));
    return response;
}

}  // namespace lumora::platform
