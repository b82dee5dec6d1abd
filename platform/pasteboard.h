// The general pasteboard: items of typed data and a change count that every write bumps.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace lumora::platform {

inline constexpr const char* plainTextType = "public.utf8-plain-text";

// One item: its (type, bytes) pairs in order.
using PasteboardItem = std::vector<std::pair<std::string, std::string>>;

class Pasteboard {
  public:
    virtual ~Pasteboard() = default;

    virtual long changeCount() = 0;
    virtual std::size_t itemCount() = 0;
    virtual std::vector<std::string> types(std::size_t item) = 0;
    // None when the item has no readable data of that type.
    virtual std::optional<std::string> data(std::size_t item, const std::string& type) = 0;
    // Empties the pasteboard; returns the new change count.
    virtual long clearContents() = 0;
    // Writes `text` as plain text; false when the pasteboard refuses.
    virtual bool setString(const std::string& text) = 0;
    virtual bool writeItems(const std::vector<PasteboardItem>& items) = 0;
};

}  // namespace lumora::platform
