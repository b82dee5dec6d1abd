// The global hold-key monitor: an event tap that sees the whole desktop's keyboard and mouse
// before any application does. A bound key (Fn, Left or Right Option, Escape) held for 0.35
// seconds is reported as "hold_pressed", its release as "hold_released", and an interruption of
// an active hold as "hold_cancel". A shorter tap keeps its ordinary meaning: it reaches the
// application untouched, or, for Escape, which must be held back while it might start a hold,
// is replayed. Events this monitor posts carry a marker and pass it untouched.
#pragma once

#include <bitset>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "assistant/hold/hold_trigger.h"
#include "platform/keyboard.h"
#include "platform/ports.h"
#include "runtime/event_loop.h"
#include "runtime/json.h"

namespace lumora {

// The user-data field of every event the monitor posts: "LUMOKEYS" as big-endian bytes.
inline constexpr std::int64_t syntheticEventMarker = 0x4C554D4F4B455953;

// The effects of the monitor; each one left empty takes its platform default.
struct HoldOperations {
    // Where hold events go: the event writer.
    std::function<void(const json::Document&)> sendEvent;
    // How replayed events are posted: the keyboard port.
    std::function<void(const platform::InputEvent&)> postEvent;
    // Whether a click belongs to the app's floating widget, which must not end a hold.
    std::function<bool(const platform::InputEvent&)> allowsWidgetInteraction;
};

class HoldShortcuts {
  public:
    // The loop times the activation and must outlive the monitor.
    HoldShortcuts(EventLoop& loop, platform::Ports& ports, HoldOperations operations = {});
    HoldShortcuts(const HoldShortcuts&) = delete;
    HoldShortcuts& operator=(const HoldShortcuts&) = delete;

    // Stores new bindings (mode name to hold key name), abandoning the hold in progress;
    // equal bindings change nothing. With the tap installed, it claims the keys the new
    // bindings swallow, and a change in whether every bound key can be seen is reported.
    void configure(const std::map<std::string, std::string>& bindings);
    // Installs the event tap once bindings exist; a refused tap, or a refused claim on the keys
    // it must swallow, is reported, and tried again on the next call. Success is reported with
    // an empty message, or with a sentence when a bound key is one the keyboard never reports.
    void install();
    // While suspended every event passes untouched.
    void suspend(bool suspended);
    // Abandons the current hold: an active one is reported cancelled, a held-back Escape is
    // delivered after all.
    void interrupt();
    // Whether Escape is itself a bound hold key, so the helper's own Escape handling must stay
    // out of its way.
    bool reservesEscape() const;

    // The tap's handler (main thread): the event to deliver, or none to swallow it.
    std::optional<platform::InputEvent> handle(const platform::InputEvent& event);

  private:
    void startHold(std::string key, const platform::InputEvent& event);
    std::optional<platform::InputEvent> endHold(const platform::InputEvent& release);
    void activate(const std::string& key);
    void report(std::string_view phase, const std::string& key);
    void postMarked(platform::InputEvent event);
    bool bindsEscape() const;
    // The bound keys whose presses the monitor swallows: Escape, held back until its hold is
    // decided. Desktops that hand keys to applications before the tap need them claimed.
    std::vector<std::uint16_t> withheldKeys() const;
    // The hold status message for the bindings: empty, or why a bound key can never start a
    // hold.
    std::string_view keyStatus() const;
    // The bound hold key name with this key code, if any; it lives as long as the bindings.
    std::optional<std::string_view> boundKey(std::uint16_t keyCode) const;
    bool isWidgetClick(const platform::InputEvent& event) const;
    void forgetPressedKeys();

    EventLoop& loop_;
    platform::Ports& ports_;
    HoldOperations operations_;
    std::map<std::string, std::string> bindings_;
    std::unique_ptr<platform::EventTap> tap_;
    Timer timer_;
    HoldTrigger trigger_;
    // The hold key pressed now: pending, active, or interrupted but not yet released.
    std::optional<std::string> candidate_;
    // A swallowed Escape key-down, kept to be replayed if the press turns out to be a tap.
    std::optional<platform::InputEvent> escapeDown_;
    bool suspended_ = false;
    // Keys down as key-down and key-up events say; a fixed set, so that passing an event on
    // never allocates.
    std::bitset<1 << 16> pressedKeys_;
    std::size_t pressedCount_ = 0;
};

}  // namespace lumora
