#include "assistant/target/accessibility_reading.h"

#include <chrono>
#include <functional>
#include <thread>

#include "assistant/target/focus_capture.h"

namespace lumora::accessibility {

namespace {
constexpr auto exposeWait = std::chrono::milliseconds(20);
}

std::optional<std::string> stringAttribute(platform::Accessibility& ax,
                                           const platform::AXElement& element,
                                           std::string_view name) {
    if (!element) return std::nullopt;
    std::optional<platform::AXValue> value = ax.copyAttribute(element, name);
    auto* text = value ? std::get_if<std::string>(&*value) : nullptr;
    return text ? std::optional(*text) : std::nullopt;
}

platform::AXElement elementAttribute(platform::Accessibility& ax,
                                     const platform::AXElement& element, std::string_view name) {
    if (!element) return nullptr;
    std::optional<platform::AXValue> value = ax.copyAttribute(element, name);
    auto* found = value ? std::get_if<platform::AXElement>(&*value) : nullptr;
    return found ? *found : nullptr;
}

std::optional<TargetSnapshot> snapshot(platform::Accessibility& ax,
                                       const platform::AXElement& element) {
    std::optional<std::string> value = stringAttribute(ax, element, "AXValue");
    if (!value) return std::nullopt;
    std::optional<platform::AXValue> range = ax.copyAttribute(element, "AXSelectedTextRange");
    auto* selected = range ? std::get_if<platform::TextRange>(&*range) : nullptr;
    if (!selected) return std::nullopt;
    return TargetSnapshot{std::move(*value), selected->location, selected->length};
}

platform::AXElement focusedElement(platform::Ports& ports, bool prepareAccessibility) {
    std::optional<platform::RunningApplication> application =
        ports.workspace.frontmostApplication();
    if (!application) return nullptr;
    platform::Accessibility& ax = ports.accessibility;
    platform::AXElement applicationElement = ax.applicationElement(application->pid);

    auto sourceIsActive = [&] {
        std::optional<platform::RunningApplication> frontmost =
            ports.workspace.frontmostApplication();
        return !ports.workspace.isTerminated(application->pid) && frontmost &&
               frontmost->pid == application->pid;
    };
    // Each place is asked only when the ones before it had no answer: asking costs a slow
    // application a call or more, and the focus is asked for with every streamed piece.
    const std::function<platform::AXElement()> places[] = {
        [&] { return applicationElement; },
        [&] { return ax.systemWideElement(); },
        [&] { return elementAttribute(ax, applicationElement, "AXFocusedWindow"); },
    };
    auto read = [&]() -> std::optional<platform::AXElement> {
        for (const auto& place : places) {
            platform::AXElement focused = elementAttribute(ax, place(), "AXFocusedUIElement");
            if (focused && ax.pid(focused) == application->pid) return focused;
        }
        return std::nullopt;
    };
    auto enable = [&] { ax.setAttribute(applicationElement, "AXManualAccessibility", true); };
    auto wait = [] { std::this_thread::sleep_for(exposeWait); };

    return FocusCapture::resolve(prepareAccessibility, sourceIsActive, read, enable, wait)
        .value_or(nullptr);
}

}  // namespace lumora::accessibility
