// The audit record of one request: its inputs, every status event, the raw model output and
// the screenshot, kept as one JSON document in the audit directory.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/images.h"
#include "platform/system.h"

namespace lumora {

class GenerationHistory {
public:
    // The directory named by LUMORA_AUDIT_DIR; none turns auditing off.
    static std::optional<std::string> defaultDirectory(platform::System& system);
    // A new record, or none when auditing is off.
    static std::unique_ptr<GenerationHistory> open(std::uint64_t requestID, std::string source,
                                                   const std::optional<std::string>& directory);

    void input(const std::string& key, const std::string& value);
    void update(std::string_view phase, std::string_view message, std::string_view text,
                std::string_view action);
    // The last failure to write the record, kept until a write succeeds.
    const std::optional<std::string>& error() const { return error_; }

private:
    std::optional<std::string> error_;
};

}  // namespace lumora
