// The reader-identity check: a request other than hello and relay must come from a page of the
// supported web reader (https, an allowed host) showing the book it names. The book's
// identifier is the page's first "asin" query item: ten ASCII letters or digits.
#pragma once

#include "reader-host/request.h"

namespace lumora::ReaderHost {

inline constexpr std::string_view invalidReaderIdentity = "Invalid reader identity";

bool hasReaderIdentity(const Request& request);

}  // namespace lumora::ReaderHost
