#include "screentext/errors.h"

#include <string>

namespace lumora::ScreenText {

std::string_view errorDescription(ErrorCode code) {
    switch (code) {
        case ErrorCode::passageNotIsolated:
            return "Could not isolate the requested screen passage without changing its text. "
                   "Select the passage or capture a smaller region.";
        case ErrorCode::noReadableText:
            return "No readable screen text was found. Select the passage or capture a smaller "
                   "region.";
        case ErrorCode::tooMuchText:
            return "This window contains too much text. Select the passage or capture a smaller "
                   "region.";
        case ErrorCode::noUsableSummary:
            return "No usable screen summary was returned. Select the passage you want read.";
    }
    return {};
}

Error error(ErrorCode code) {
    return Error(std::string(errorDomain), static_cast<int>(code),
                 std::string(errorDescription(code)));
}

}  // namespace lumora::ScreenText
