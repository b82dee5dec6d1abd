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

// Targets an owner answers besides its data.
constexpr std::array<std::string_view, 7> notData = {
    "TARGETS", "TIMESTAMP",        "MULTIPLE",       "SAVE_TARGETS",
    "DELETE",  "INSERT_SELECTION", "INSERT_PROPERTY"};
// Text in UTF-8, then text whose encoding is another or not said, which repeats it: the first
// an owner offers of the first kind it has is its plain text, and the rest are left out.
// COMPOUND_TEXT is kept under its own name, as nothing here decodes it.
constexpr std::array<std::string_view, 2> utf8Text = {"UTF8_STRING", utf8Mime};
constexpr std::array<std::string_view, 3> otherText = {"STRING", "TEXT", "text/plain"};

template <std::size_t size>
bool among(const std::array<std::string_view, size>& names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// The owner's target its plain text is read from; none when it offers no text.
std::optional<std::string> plainTextTarget(const std::vector<std::string>& targets) {
    auto firstOf = [&](const auto& names) -> std::optional<std::string> {
        auto found = std::find_if(targets.begin(), targets.end(),
                                  [&](const std::string& target) { return among(names, target); });
        if (found == targets.end()) return std::nullopt;
        return *found;
    };
    if (std::optional<std::string> utf8 = firstOf(utf8Text)) return utf8;
    return firstOf(otherText);
}

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

std::vector<ReadableType> readableTypes(const std::vector<std::string>& targets) {
    const std::optional<std::string> textTarget = plainTextTarget(targets);
    std::vector<ReadableType> readable;
    for (const std::string& target : targets) {
        ReadableType type{target, target};
        if (target == textTarget) {
            type = {platform::plainTextType, target, among(otherText, target)};
        } else if (among(notData, target) || among(utf8Text, target) || among(otherText, target)) {
            continue;
        }
        auto known = [&](const ReadableType& seen) { return seen.type == type.type; };
        if (std::none_of(readable.begin(), readable.end(), known)) readable.push_back(type);
    }
    return readable;
}

std::string utf8FromLatin1(std::string_view latin1) {
    std::string utf8;
    utf8.reserve(latin1.size());
    for (const char byte : latin1) {
        const auto code = static_cast<unsigned char>(byte);
        if (code < 0x80) {
            utf8 += byte;
        } else {
            utf8 += static_cast<char>(0xC0 | (code >> 6));
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return utf8;
}

}  // namespace lumora::x11
