#include "reader-host/response.h"

namespace lumora::ReaderHost {

json::Document successResponse(std::string_view requestId) {
    return {{"ok", true}, {"protocolVersion", protocolVersion}, {"requestId", requestId}};
}

json::Document errorResponse(std::string_view requestId, std::string_view message) {
    return {{"ok", false},
            {"protocolVersion", protocolVersion},
            {"requestId", requestId},
            {"error", message}};
}

}  // namespace lumora::ReaderHost
