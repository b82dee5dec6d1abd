// Accessibility over the simulated tree: the system-wide element, application elements and
// the scenario's elements, with the attributes real text fields report and the write
// behaviour of real applications, quirks included.
#pragma once

#include <memory>

#include "platform/accessibility.h"
#include "platform/sim/sim_world.h"

namespace lumora::sim {

class SimAccessibility final : public platform::Accessibility {
  public:
    explicit SimAccessibility(std::shared_ptr<World> world) : world_(std::move(world)) {}

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

  private:
    std::shared_ptr<World> world_;
};

}  // namespace lumora::sim
