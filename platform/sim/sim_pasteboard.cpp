#include "platform/sim/sim_pasteboard.h"

#include <algorithm>

namespace lumora::sim {

namespace {

std::optional<std::string> readable(const PasteboardState& pasteboard, std::size_t item,
                                    const std::string& type) {
    if (item >= pasteboard.items.size() || pasteboard.unreadableTypes.contains(type)) {
        return std::nullopt;
    }
    const auto& entries = pasteboard.items[item];
    auto found = std::find_if(entries.begin(), entries.end(),
                              [&](const auto& entry) { return entry.first == type; });
    if (found == entries.end()) return std::nullopt;
    return found->second;
}

}  // namespace

std::optional<std::string> pastedText(const PasteboardState& pasteboard) {
    return readable(pasteboard, 0, platform::plainTextType);
}

long SimPasteboard::changeCount() {
    std::lock_guard lock(world_->mutex);
    return world_->pasteboard.changeCount;
}

std::size_t SimPasteboard::itemCount() {
    std::lock_guard lock(world_->mutex);
    return world_->pasteboard.items.size();
}

std::vector<std::string> SimPasteboard::types(std::size_t item) {
    std::lock_guard lock(world_->mutex);
    std::vector<std::string> types;
    if (item >= world_->pasteboard.items.size()) return types;
    for (const auto& [type, bytes] : world_->pasteboard.items[item]) types.push_back(type);
    return types;
}

std::optional<std::string> SimPasteboard::data(std::size_t item, const std::string& type) {
    std::lock_guard lock(world_->mutex);
    return readable(world_->pasteboard, item, type);
}

long SimPasteboard::clearContents() {
    std::lock_guard lock(world_->mutex);
    world_->pasteboard.items.clear();
    return ++world_->pasteboard.changeCount;
}

bool SimPasteboard::setString(const std::string& text) {
    std::lock_guard lock(world_->mutex);
    auto& pasteboard = world_->pasteboard;
    if (pasteboard.writesFail) return false;
    // The string goes into the first item, as the platform's convenience setter does.
    if (pasteboard.items.empty()) pasteboard.items.emplace_back();
    auto& entries = pasteboard.items.front();
    auto found = std::find_if(entries.begin(), entries.end(), [](const auto& entry) {
        return entry.first == platform::plainTextType;
    });
    if (found == entries.end()) {
        entries.emplace_back(platform::plainTextType, text);
    } else {
        found->second = text;
    }
    ++pasteboard.changeCount;
    return true;
}

bool SimPasteboard::writeItems(const std::vector<platform::PasteboardItem>& items) {
    std::lock_guard lock(world_->mutex);
    auto& pasteboard = world_->pasteboard;
    if (pasteboard.writesFail) return false;
    pasteboard.items.insert(pasteboard.items.end(), items.begin(), items.end());
    ++pasteboard.changeCount;
    return true;
}

}  // namespace lumora::sim
