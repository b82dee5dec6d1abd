// The general pasteboard of the simulated desktop: items of typed data and a change count that
// clearing and every write bump. A scenario can make types unreadable and writes fail.
#pragma once

#include <memory>

#include "platform/pasteboard.h"
#include "platform/sim/sim_world.h"

namespace lumora::sim {

class SimPasteboard final : public platform::Pasteboard {
  public:
    explicit SimPasteboard(std::shared_ptr<World> world) : world_(std::move(world)) {}

    long changeCount() override;
    std::size_t itemCount() override;
    std::vector<std::string> types(std::size_t item) override;
    std::optional<std::string> data(std::size_t item, const std::string& type) override;
    long clearContents() override;
    bool setString(const std::string& text) override;
    bool writeItems(const std::vector<platform::PasteboardItem>& items) override;

  private:
    std::shared_ptr<World> world_;
};

// The plain text an application pastes: the first item's, when it is readable.
std::optional<std::string> pastedText(const PasteboardState& pasteboard);

}  // namespace lumora::sim
