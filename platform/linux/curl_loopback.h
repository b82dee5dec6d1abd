// libcurl transfers to loopback peers, set up one way for every caller: plain HTTP only, no
// proxy from the environment, no redirects, no signals. Failures throw lumora::Error in the
// "Lumora.HTTP" domain with libcurl's own detail.
#pragma once

#include <curl/curl.h>

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lumora::platform::CurlLoopback {

inline constexpr std::string_view errorDomain = "Lumora.HTTP";

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using HeaderList = std::unique_ptr<curl_slist, ListDeleter>;

// A transfer of `url` with the loopback settings; libcurl's detail of a failure lands in
// `details`, which must outlive the handle.
EasyHandle open(const std::string& url, char (&details)[CURL_ERROR_SIZE]);

[[noreturn]] void fail(CURLcode code, const char* details);
void check(CURLcode code);

// "Name: value" lines, and no "Expect: 100-continue" round trip before a body.
HeaderList headerList(const std::vector<std::pair<std::string, std::string>>& headers);

// libcurl reads 0 as "no timeout"; a caller's bound is always at least a millisecond.
long timeoutMilliseconds(double seconds);

}  // namespace lumora::platform::CurlLoopback
