#include "platform/x11/x11_clipboard.h"

#include <algorithm>
#include <memory>

namespace lumora::x11 {

namespace {

HeldItem::iterator entryOf(HeldItem& item, const std::string& type) {
    return std::find_if(item.begin(), item.end(),
                        [&](const auto& entry) { return entry.first == type; });
}

void put(HeldItem& item, const std::string& type, const std::string& bytes) {
    auto shared = std::make_shared<const std::string>(bytes);
    auto found = entryOf(item, type);
    if (found == item.end()) {
        item.emplace_back(type, std::move(shared));
    } else {
        found->second = std::move(shared);
    }
}

}  // namespace

X11Clipboard::X11Clipboard()
    : reader_(X11Connection::open(), "CLIPBOARD"),
      owner_(X11Connection::open(), "CLIPBOARD", [this] { ++changeCount_; }) {}

long X11Clipboard::changeCount() {
    return changeCount_;
}

std::size_t X11Clipboard::itemCount() {
    std::lock_guard lock(mutex_);
    if (owner_.owns()) return item_ ? 1 : 0;
    return reader_.owner() != 0 ? 1 : 0;
}

std::vector<std::string> X11Clipboard::types(std::size_t item) {
    std::lock_guard lock(mutex_);
    std::vector<std::string> types;
    if (item != 0) return types;
    if (owner_.owns()) {
        if (item_) {
            for (const auto& [type, bytes] : *item_) types.push_back(type);
        }
        return types;
    }
    for (ReadableType& readable : readableTypes(reader_.targets())) {
        types.push_back(std::move(readable.type));
    }
    return types;
}

std::optional<std::string> X11Clipboard::data(std::size_t item, const std::string& type) {
    std::lock_guard lock(mutex_);
    if (item != 0) return std::nullopt;
    if (owner_.owns()) {
        if (!item_) return std::nullopt;
        auto found = entryOf(*item_, type);
        if (found == item_->end()) return std::nullopt;
        return *found->second;
    }
    for (const ReadableType& readable : readableTypes(reader_.targets())) {
        if (readable.type != type) continue;
        if (readable.encodingByReply) return reader_.convertText(readable.target);
        return reader_.convert(readable.target);
    }
    return std::nullopt;
}

long X11Clipboard::clearContents() {
    std::lock_guard lock(mutex_);
    // A clipboard that could not be emptied keeps what it served, and its count.
    if (!owner_.own({})) return changeCount_;
    item_.reset();
    return ++changeCount_;
}

bool X11Clipboard::setString(const std::string& text) {
    std::lock_guard lock(mutex_);
    HeldItem item = currentItem();
    put(item, platform::plainTextType, text);
    return serve(std::move(item));
}

bool X11Clipboard::writeItems(const std::vector<platform::PasteboardItem>& items) {
    std::lock_guard lock(mutex_);
    HeldItem item = currentItem();
    for (const platform::PasteboardItem& written : items) {
        for (const auto& [type, bytes] : written) put(item, type, bytes);
    }
    return serve(std::move(item));
}

std::optional<HeldItem> X11Clipboard::held() {
    std::lock_guard lock(mutex_);
    if (!owner_.owns() || !item_ || item_->empty()) return std::nullopt;
    return *item_;
}

HeldItem X11Clipboard::currentItem() const {
    return owner_.owns() && item_ ? *item_ : HeldItem{};
}

bool X11Clipboard::serve(HeldItem item) {
    if (!owner_.own(offeredTargets(item))) return false;
    item_ = std::move(item);
    ++changeCount_;
    return true;
}

}  // namespace lumora::x11
