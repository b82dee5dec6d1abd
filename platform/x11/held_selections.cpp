#include "platform/x11/held_selections.h"

#include <cstdint>
#include <cstring>
#include <memory>

namespace lumora::x11 {

namespace {

void putCount(std::string& out, std::uint64_t count) {
    char bytes[sizeof count];
    std::memcpy(bytes, &count, sizeof count);
    out.append(bytes, sizeof bytes);
}

void putString(std::string& out, std::string_view text) {
    putCount(out, text.size());
    out.append(text);
}

// Reads from the front of `in`, which it shortens; none when too little is left.
std::optional<std::uint64_t> takeCount(std::string_view& in) {
    std::uint64_t count = 0;
    if (in.size() < sizeof count) return std::nullopt;
    std::memcpy(&count, in.data(), sizeof count);
    in.remove_prefix(sizeof count);
    return count;
}

std::optional<std::string> takeString(std::string_view& in) {
    std::optional<std::uint64_t> length = takeCount(in);
    if (!length || *length > in.size()) return std::nullopt;
    std::string text(in.substr(0, *length));
    in.remove_prefix(*length);
    return text;
}

}  // namespace

std::string encodeHeldSelections(const std::vector<HeldSelection>& selections) {
    std::string out;
    putCount(out, selections.size());
    for (const HeldSelection& held : selections) {
        putString(out, held.selection);
        putCount(out, held.item.size());
        for (const auto& [type, bytes] : held.item) {
            putString(out, type);
            putString(out, *bytes);
        }
    }
    return out;
}

std::optional<std::vector<HeldSelection>> decodeHeldSelections(std::string_view in) {
    std::optional<std::uint64_t> count = takeCount(in);
    if (!count) return std::nullopt;
    std::vector<HeldSelection> selections;
    for (std::uint64_t index = 0; index < *count; ++index) {
        std::optional<std::string> name = takeString(in);
        std::optional<std::uint64_t> types = name ? takeCount(in) : std::nullopt;
        if (!types) return std::nullopt;
        HeldSelection& held = selections.emplace_back(HeldSelection{std::move(*name), {}});
        for (std::uint64_t type = 0; type < *types; ++type) {
            std::optional<std::string> name = takeString(in);
            std::optional<std::string> bytes = name ? takeString(in) : std::nullopt;
            if (!bytes) return std::nullopt;
            held.item.emplace_back(std::move(*name),
                                   std::make_shared<const std::string>(std::move(*bytes)));
        }
    }
    if (!in.empty()) return std::nullopt;
    return selections;
}

}  // namespace lumora::x11
