// The keyboard of the simulated desktop: key state, the layout's key translation, synthetic
// events (recorded, and acted on by the frontmost application: Command-V pastes), the global
// key-down monitors and the event taps, which see the user's input before applications do.
#pragma once

#include <memory>

#include "platform/keyboard.h"
#include "platform/sim/sim_world.h"

namespace lumora::sim {

class SimKeyboard final : public platform::Keyboard {
  public:
    explicit SimKeyboard(std::shared_ptr<World> world) : world_(std::move(world)) {}

    platform::EventFlags sessionFlags() override;
    bool isKeyDown(std::uint16_t keyCode) override;
    bool canReport(std::uint16_t) override { return true; }
    std::optional<platform::InputEvent> createKeyEvent(std::uint16_t keyCode,
                                                       bool keyDown) override;
    void post(const platform::InputEvent& event) override;
    bool hasLayoutData() override;
    std::optional<std::u16string> translate(std::uint16_t keyCode) override;
    std::shared_ptr<void> addGlobalKeyDownMonitor(
        std::function<void(std::uint16_t keyCode)> handler) override;
    std::unique_ptr<platform::EventTap> createEventTap(std::uint64_t mask,
                                                       platform::EventTapHandler handler) override;

    // The user's hardware input, as SimDesktop::deliverInput describes it.
    std::optional<platform::InputEvent> deliver(const platform::InputEvent& event);

  private:
    std::shared_ptr<World> world_;
};

}  // namespace lumora::sim
