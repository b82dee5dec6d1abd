// The global hold-key monitor: turns a bound key held for 0.35 seconds into "hold_pressed",
// its release into "hold_released" and an interruption into "hold_cancel".
#pragma once

#include <map>
#include <string>

namespace lumora {

class HoldShortcuts {
  public:
    // Stores new bindings (mode name to hold key name); equal bindings change nothing.
    void configure(const std::map<std::string, std::string>& bindings);
    // Installs the event tap once bindings exist.
    void install();
    void suspend(bool suspended);
    // Whether Escape is itself a bound hold key, so the helper's own Escape handling must stay
    // out of its way.
    bool reservesEscape() const;

  private:
    std::map<std::string, std::string> bindings_;
    bool suspended_ = false;
};

}  // namespace lumora
