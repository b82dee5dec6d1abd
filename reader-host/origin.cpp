#include "reader-host/origin.h"

#include "reader-host/deployment.h"
#include "runtime/atomic_file.h"
#include "runtime/json.h"
#include "runtime/text.h"

namespace lumora::ReaderHost {

bool acceptsOrigin(std::optional<std::string_view> origin) {
    return origin && *origin == allowedOrigin;
}

std::string originRejectionRecord(const std::vector<std::string>& arguments) {
    json::Document cut = json::Document::array();
    for (const auto& argument : arguments) {
        const std::string readable = text::sanitizeUtf8(argument);
        cut.push_back(std::string(text::characterPrefix(readable, maxRecordedArgumentCharacters)));
    }
    return json::serialize(json::Document{{"arguments", std::move(cut)}});
}

void recordOriginRejection(const std::string& directory,
                           const std::vector<std::string>& arguments) {
    files::replaceAtomically(directory + "/" + std::string(originRejectionFile),
                             originRejectionRecord(arguments), 0600);
}

}  // namespace lumora::ReaderHost
