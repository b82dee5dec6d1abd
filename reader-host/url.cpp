#include "reader-host/url.h"

namespace lumora::ReaderHost {
namespace {

bool isAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

int hexValue(char c) {
    if (isAsciiDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Unreserved characters, delimiters and "%" (whose escapes are checked separately).
bool isUrlCharacter(char c) {
    static constexpr std::string_view others = "-._~:/?#[]@!$&'()*+,;=%";
    return isAsciiLetter(c) || isAsciiDigit(c) || others.find(c) != std::string_view::npos;
}

bool wellFormedCharacters(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!isUrlCharacter(text[i])) return false;
        if (text[i] == '%' &&
            (i + 2 >= text.size() || hexValue(text[i + 1]) < 0 || hexValue(text[i + 2]) < 0))
            return false;
    }
    return true;
}

bool validScheme(std::string_view scheme) {
    if (scheme.empty() || !isAsciiLetter(scheme.front())) return false;
    for (char c : scheme) {
        if (!isAsciiLetter(c) && !isAsciiDigit(c) && c != '+' && c != '-' && c != '.') return false;
    }
    return true;
}

bool allDigits(std::string_view text) {
    for (char c : text) {
        if (!isAsciiDigit(c)) return false;
    }
    return true;
}

bool hasBracket(std::string_view text) {
    return text.find_first_of("[]") != std::string_view::npos;
}

// The host of an authority ("user@host:port"); none for a malformed authority, an empty
// string for an empty host.
std::optional<std::string_view> hostOfAuthority(std::string_view authority) {
    const std::size_t at = authority.find('@');
    if (at != std::string_view::npos && authority.find('@', at + 1) != std::string_view::npos)
        return std::nullopt;
    const std::string_view userInfo =
        at == std::string_view::npos ? std::string_view() : authority.substr(0, at);
    std::string_view hostAndPort =
        at == std::string_view::npos ? authority : authority.substr(at + 1);
    if (hasBracket(userInfo)) return std::nullopt;

    std::string_view host;
    std::string_view afterHost;
    if (hostAndPort.starts_with('[')) {
        const std::size_t close = hostAndPort.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        host = hostAndPort.substr(0, close + 1);
        afterHost = hostAndPort.substr(close + 1);
        if (hasBracket(host.substr(1, host.size() - 2))) return std::nullopt;
    } else {
        const std::size_t colon = hostAndPort.find(':');
        host = hostAndPort.substr(0, colon);
        afterHost =
            colon == std::string_view::npos ? std::string_view() : hostAndPort.substr(colon);
        if (hasBracket(host)) return std::nullopt;
    }
    if (!afterHost.empty() && (afterHost.front() != ':' || !allDigits(afterHost.substr(1))))
        return std::nullopt;
    return host;
}

std::string percentDecoded(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            decoded.push_back(
                static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            i += 2;
        } else {
            decoded.push_back(text[i]);
        }
    }
    return decoded;
}

}  // namespace

std::optional<Url> parseUrl(std::string_view text) {
    if (!wellFormedCharacters(text)) return std::nullopt;
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || !validScheme(text.substr(0, colon))) return std::nullopt;
    Url url{std::string(text.substr(0, colon)), std::nullopt, std::nullopt};

    std::string_view rest = text.substr(colon + 1);
    if (const std::size_t hash = rest.find('#'); hash != std::string_view::npos) {
        if (rest.find('#', hash + 1) != std::string_view::npos) return std::nullopt;
        rest = rest.substr(0, hash);
    }
    if (const std::size_t question = rest.find('?'); question != std::string_view::npos) {
        url.query = std::string(rest.substr(question + 1));
        rest = rest.substr(0, question);
    }
    if (rest.starts_with("//")) {
        rest.remove_prefix(2);
        const std::size_t slash = rest.find('/');
        const auto host = hostOfAuthority(rest.substr(0, slash));
        if (!host) return std::nullopt;
        if (!host->empty()) url.host = std::string(*host);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
    }
    if (hasBracket(rest)) return std::nullopt;
    return url;
}

std::vector<QueryItem> queryItems(std::string_view query) {
    std::vector<QueryItem> items;
    while (!query.empty()) {
        const std::size_t ampersand = query.find('&');
        const std::string_view item = query.substr(0, ampersand);
        const std::size_t equals = item.find('=');
        if (equals == std::string_view::npos) {
            items.push_back({percentDecoded(item), std::nullopt});
        } else {
            items.push_back(
                {percentDecoded(item.substr(0, equals)), percentDecoded(item.substr(equals + 1))});
        }
        query =
            ampersand == std::string_view::npos ? std::string_view() : query.substr(ampersand + 1);
    }
    return items;
}

}  // namespace lumora::ReaderHost
