#include "platform/linux/url_scheme.h"

#include <cctype>

namespace lumora::platform {

bool hasUrlScheme(std::string_view url) {
    std::size_t colon = url.find(':');
    if (colon == std::string_view::npos || colon == 0 ||
        !std::isalpha(static_cast<unsigned char>(url[0]))) {
        return false;
    }
    for (std::size_t index = 1; index < colon; ++index) {
        unsigned char c = static_cast<unsigned char>(url[index]);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
    }
    return true;
}

}  // namespace lumora::platform
