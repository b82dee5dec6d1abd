#include "assistant/audit/generation_history.h"

namespace lumora {

std::optional<std::string> GenerationHistory::defaultDirectory(platform::System& system) {
    auto directory = system.environment("LUMORA_AUDIT_DIR");
    if (!directory || directory->empty()) return std::nullopt;
    return directory;
}

// Records are not written yet: until the record store exists, auditing stays off.
std::unique_ptr<GenerationHistory> GenerationHistory::open(std::uint64_t,
                                                           std::string,
                                                           const std::optional<std::string>&) {
    return nullptr;
}

void GenerationHistory::input(const std::string&, const std::string&) {}

void GenerationHistory::update(std::string_view, std::string_view, std::string_view,
                               std::string_view) {}

}  // namespace lumora
