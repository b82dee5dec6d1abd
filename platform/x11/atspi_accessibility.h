// Accessibility over AT-SPI: the system-wide element, application elements by process id and
// the toolkits' elements, under the attribute names the assistant's logic reads
// ("AXFocusedUIElement", "AXValue", "AXSelectedTextRange", "AXBoundsForRange", …). Every call
// runs on the accessibility thread, bounded by its bus timeout; a call that fails or times out
// reads as an absent value, as the logic expects of an unreadable attribute.
#pragma once

#include <memory>

#include "platform/accessibility.h"
#include "platform/x11/atspi_window_position.h"

namespace lumora::x11 {

class AccessibilityBusStatus;
class AtspiThread;

class AtspiAccessibility final : public platform::Accessibility {
  public:
    // `locate` finds windows on screen for toolkits that do not tell where theirs are.
    AtspiAccessibility(std::shared_ptr<AtspiThread> thread, AccessibilityBusStatus& status,
                       WindowLocator locate);
    ~AtspiAccessibility() override;

    platform::AXElement applicationElement(pid_t pid) override;
    platform::AXElement systemWideElement() override;
    std::optional<platform::AXValue> copyAttribute(const platform::AXElement& element,
                                                   std::string_view name) override;
    std::optional<platform::AXValue> copyParameterizedAttribute(
        const platform::AXElement& element, std::string_view name,
        const platform::AXValue& parameter) override;
    platform::AXError setAttribute(const platform::AXElement& element, std::string_view name,
                                   const platform::AXValue& value) override;
    std::optional<bool> isAttributeSettable(const platform::AXElement& element,
                                            std::string_view name) override;
    std::optional<pid_t> pid(const platform::AXElement& element) override;
    bool equal(const platform::AXElement& a, const platform::AXElement& b) override;

    // The process whose terminal has the focus; 0 when the focused element is no terminal.
    pid_t focusedTerminal();

  private:
    class Tree;
    std::shared_ptr<AtspiThread> thread_;
    AccessibilityBusStatus& status_;
    // Lives on the accessibility thread: made and destroyed there.
    std::unique_ptr<Tree> tree_;
};

}  // namespace lumora::x11
