// Absolute URLs as the reader identity check needs them: scheme, host and query items. Parsing
// is strict: characters outside the URL alphabet, a malformed escape, or an authority with
// more than one "@" make the text no URL at all, so that two parsers can never disagree about
// which host a URL names.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumora::ReaderHost {

struct Url {
    std::string scheme;  // as written
    // As written: escapes are not decoded, so an escaped name matches no plain one. None when
    // the URL has no authority or an empty host.
    std::optional<std::string> host;
    std::optional<std::string> query;  // without the "?"
    bool operator==(const Url&) const = default;
};

struct QueryItem {
    std::string name;
    std::optional<std::string> value;  // none when the item has no "="
    bool operator==(const QueryItem&) const = default;
};

std::optional<Url> parseUrl(std::string_view text);

// The "&"-separated items of a query, names and values percent-decoded ("+" stays a plus).
std::vector<QueryItem> queryItems(std::string_view query);

}  // namespace lumora::ReaderHost
