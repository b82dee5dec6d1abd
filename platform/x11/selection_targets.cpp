#include "platform/x11/selection_targets.h"

#include <algorithm>
#include <array>

#include "platform/pasteboard.h"
#include "runtime/text.h"

namespace lumora::x11 {

namespace {

constexpr std::string_view utf8Mime = "text/plain;charset=utf-8";
// Clipboard managers on Linux leave an item out of their history when it carries this target
// with "secret", as the nspasteboard marks ask on macOS.
constexpr std::string_view managerHint = "x-kde-passwordManagerHint";

// Targets an owner answers besides its data, and text targets whose encoding is not UTF-8
// (or not said); the same text comes under UTF8_STRING.
constexpr std::array<std::string_view, 11> notData = {
    "TARGETS",         "TIMESTAMP", "MULTIPLE", "SAVE_TARGETS",  "DELETE",    "INSERT_SELECTION",
    "INSERT_PROPERTY", "STRING",    "TEXT",     "COMPOUND_TEXT", "text/plain"};

// Code points above U+00FF, and the bytes of ill-formed UTF-8, have no Latin-1 form and are
// sent as "?".
std::string latin1FromUtf8(std::string_view utf8) {
    std::string wellFormed = text::sanitizeUtf8(utf8);
    std::string latin1;
    for (std::size_t index = 0; index < wellFormed.size();) {
        auto lead = static_cast<unsigned char>(wellFormed[index]);
        if (lead < 0x80) {
            latin1 += static_cast<char>(lead);
            ++index;
            continue;
        }
        std::size_t length = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        // U+0080 to U+00FF are the two-byte sequences that C2 and C3 lead.
        bool inLatin1 = lead == 0xC2 || lead == 0xC3;
        auto trail = static_cast<unsigned char>(wellFormed[index + 1]);
        latin1 += inLatin1 ? static_cast<char>(((lead & 0x1F) << 6) | (trail & 0x3F)) : '?';
        index += length;
    }
    return latin1;
}

}  // namespace

std::vector<OfferedTarget> offeredTargets(const HeldItem& item) {
    std::vector<OfferedTarget> offered;
    for (const auto& [type, bytes] : item) {
        if (type == platform::plainTextType) {
            offered.push_back({"UTF8_STRING", "UTF8_STRING", bytes});
            offered.push_back({std::string(utf8Mime), std::string(utf8Mime), bytes});
            offered.push_back({"text/plain", "text/plain", bytes});
            offered.push_back({"TEXT", "UTF8_STRING", bytes});
            offered.push_back({"STRING", "STRING", bytes, true});
            continue;
        }
        offered.push_back({type, type, bytes});
        if (type == platform::transientType) {
            offered.push_back({std::string(managerHint), std::string(managerHint),
                               std::make_shared<const std::string>("secret")});
        }
    }
    return offered;
}

SharedBytes sentBytes(const OfferedTarget& offered) {
    if (!offered.latin1) return offered.bytes;
    return std::make_shared<const std::string>(latin1FromUtf8(*offered.bytes));
}

std::optional<std::string> portTypeOf(std::string_view target) {
    if (target == "UTF8_STRING" || target == utf8Mime) return platform::plainTextType;
    if (std::find(notData.begin(), notData.end(), target) != notData.end()) return std::nullopt;
    return std::string(target);
}

}  // namespace lumora::x11
