#include "reader-host/reader_identity.h"

#include <algorithm>

#include "reader-host/deployment.h"
#include "reader-host/url.h"

namespace lumora::ReaderHost {
namespace {

std::string asciiLowercase(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

bool isAllowedHost(const std::string& host) {
    const std::string lowered = asciiLowercase(host);
    return std::find(allowedReaderHosts.begin(), allowedReaderHosts.end(), lowered) !=
           allowedReaderHosts.end();
}

bool isBookIdentifier(std::string_view text) {
    return text.size() == 10 && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
           });
}

std::optional<std::string> firstAsin(const std::string& query) {
    for (auto& item : queryItems(query)) {
        if (item.name == "asin") return std::move(item.value);
    }
    return std::nullopt;
}

}  // namespace

bool hasReaderIdentity(const Request& request) {
    if (!request.url) return false;
    const auto url = parseUrl(*request.url);
    if (!url || url->scheme != "https" || !url->host || !isAllowedHost(*url->host) || !url->query)
        return false;
    const auto asin = firstAsin(*url->query);
    return asin && request.bookId == *asin && isBookIdentifier(*asin);
}

}  // namespace lumora::ReaderHost
