// How the pasteboard's typed data meets X selection targets. The helper's own item is held with
// its bytes shared, so every target that serves them (plain text answers five) and every
// transfer in flight uses one copy. Plain text is served under UTF8_STRING, the text MIME types,
// TEXT and STRING (Latin-1); every other type under an atom of its own name. An owner's targets
// read back the other way: UTF8_STRING as plain text, the ones that only describe the selection
// or repeat its text in another encoding not at all, unless the owner has no UTF-8 text: older
// programs offer their text only as STRING, TEXT or text/plain, and that is then the plain text.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lumora::x11 {

using SharedBytes = std::shared_ptr<const std::string>;

// The helper's item while it owns the clipboard: its types in order, each with its bytes.
using HeldItem = std::vector<std::pair<std::string, SharedBytes>>;

// One target the helper answers: the property type it is sent as, and its bytes.
struct OfferedTarget {
    std::string target;
    std::string type;
    SharedBytes bytes;
    bool latin1 = false;  // sent converted from UTF-8, as STRING requires
};

std::vector<OfferedTarget> offeredTargets(const HeldItem& item);

// The bytes a requestor receives for the target.
SharedBytes sentBytes(const OfferedTarget& offered);

// How one pasteboard type is read from an owner: the target to ask for, and whether the reply
// is text in an encoding not said by the target, so that its type says it (STRING is Latin-1).
struct ReadableType {
    std::string type;
    std::string target;
    bool encodingByReply = false;
};

// The pasteboard types of an owner's targets, in its order, each once.
std::vector<ReadableType> readableTypes(const std::vector<std::string>& targets);

std::string utf8FromLatin1(std::string_view latin1);

}  // namespace lumora::x11
