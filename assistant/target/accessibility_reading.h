// Reading other applications' interfaces: typed attribute reads that yield none on any
// failure, the field snapshot, and the frontmost application's focused element.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "assistant/target/text_edit.h"
#include "platform/ports.h"

namespace lumora::accessibility {

std::optional<std::string> stringAttribute(platform::Accessibility& ax,
                                           const platform::AXElement& element,
                                           std::string_view name);
// Null when the attribute is absent or not an element.
platform::AXElement elementAttribute(platform::Accessibility& ax,
                                     const platform::AXElement& element, std::string_view name);

// The element's value and selected range; none unless both read as their proper types.
std::optional<TargetSnapshot> snapshot(platform::Accessibility& ax,
                                       const platform::AXElement& element);

// The frontmost application's focused element, or null. With `prepareAccessibility`, an
// application that hides its interface (web engines do) is asked to expose it and polled
// briefly.
platform::AXElement focusedElement(platform::Ports& ports, bool prepareAccessibility);

}  // namespace lumora::accessibility
