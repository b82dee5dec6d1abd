#include "platform/linux/curl_loopback.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "runtime/error.h"

namespace lumora::platform::CurlLoopback {

void fail(CURLcode code, const char* details) {
    std::string description = *details != '\0' ? details : curl_easy_strerror(code);
    throw Error(std::string(errorDomain), static_cast<int>(code), description);
}

void check(CURLcode code) {
    if (code != CURLE_OK) fail(code, "");
}

EasyHandle open(const std::string& url, char (&details)[CURL_ERROR_SIZE]) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { check(curl_global_init(CURL_GLOBAL_DEFAULT)); });
    EasyHandle handle(curl_easy_init());
    if (!handle) fail(CURLE_FAILED_INIT, "");
    CURL* curl = handle.get();
    details[0] = '\0';
    check(curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, details));
    check(curl_easy_setopt(curl, CURLOPT_URL, url.c_str()));
    check(curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http"));
    // An empty proxy disables http_proxy, all_proxy and the rest of the environment.
    check(curl_easy_setopt(curl, CURLOPT_PROXY, ""));
    check(curl_easy_setopt(curl, CURLOPT_NOPROXY, "*"));
    check(curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L));
    check(curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L));
    return handle;
}

HeaderList headerList(const std::vector<std::pair<std::string, std::string>>& headers) {
    HeaderList list;
    auto append = [&](const std::string& line) {
        curl_slist* grown = curl_slist_append(list.get(), line.c_str());
        if (grown == nullptr) fail(CURLE_OUT_OF_MEMORY, "");
        list.release();
        list.reset(grown);
    };
    for (const auto& [name, value] : headers) append(name + ": " + value);
    // The body goes in the first write; waiting for "100 Continue" would only add a round trip.
    append("Expect:");
    return list;
}

long timeoutMilliseconds(double seconds) {
    if (!(seconds > 0)) return 1;
    return static_cast<long>(std::ceil(std::min(seconds, 86400.0) * 1000));
}

}  // namespace lumora::platform::CurlLoopback
