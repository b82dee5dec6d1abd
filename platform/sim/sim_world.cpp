#include "platform/sim/sim_world.h"

#include <algorithm>
#include <utility>

#include "runtime/text.h"

namespace lumora::sim {

const App* World::app(pid_t pid) const {
    auto found =
        std::find_if(apps.begin(), apps.end(), [&](const App& app) { return app.info.pid == pid; });
    return found == apps.end() ? nullptr : &*found;
}

App* World::app(pid_t pid) {
    return const_cast<App*>(std::as_const(*this).app(pid));
}

App* World::frontmostApp() {
    if (!frontmost) return nullptr;
    App* found = app(*frontmost);
    return found && !found->terminated ? found : nullptr;
}

const Element* World::element(std::string_view id) const {
    auto found = std::find_if(elements.begin(), elements.end(),
                              [&](const Element& element) { return element.id == id; });
    return found == elements.end() ? nullptr : &*found;
}

Element* World::element(std::string_view id) {
    return const_cast<Element*>(std::as_const(*this).element(id));
}

Element* World::liveElement(std::string_view id) {
    Element* found = element(id);
    if (!found) return nullptr;
    const App* owner = app(found->pid);
    return owner && !owner->terminated ? found : nullptr;
}

void select(Element& element, platform::TextRange range) {
    auto units = static_cast<long>(text::utf16Length(element.value.value_or("")));
    long location = std::clamp(range.location, 0L, units);
    element.selection =
        platform::TextRange{location, std::clamp(range.length, 0L, units - location)};
}

void replaceSelection(Element& element, std::string_view text, bool selectInserted) {
    std::string value = element.value.value_or("");
    platform::TextRange range = element.selection.value_or(
        platform::TextRange{static_cast<long>(text::utf16Length(value)), 0});
    std::size_t start = text::byteOffsetOfUtf16(value, static_cast<std::size_t>(range.location));
    std::size_t end = text::byteOffsetOfUtf16(
        value, static_cast<std::size_t>(range.location) + static_cast<std::size_t>(range.length));
    std::string replaced = value.substr(0, start);
    replaced.append(text);
    replaced.append(value.substr(end));
    // A start inside a surrogate pair resolved to the start of that character.
    auto location = static_cast<long>(text::utf16Length(value.substr(0, start)));
    auto inserted = static_cast<long>(text::utf16Length(text));
    element.value = std::move(replaced);
    element.selection = selectInserted ? platform::TextRange{location, inserted}
                                       : platform::TextRange{location + inserted, 0};
}

}  // namespace lumora::sim
