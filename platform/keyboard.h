// Keyboard: modifier and key state of the session, synthetic key events, the current layout's
// key translation, the global key-down monitor and the event tap the hold monitor installs.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/geometry.h"

namespace lumora::platform {

using EventFlags = std::uint64_t;

namespace eventFlags {
inline constexpr EventFlags shift = 0x20000;
inline constexpr EventFlags control = 0x40000;
inline constexpr EventFlags option = 0x80000;
inline constexpr EventFlags command = 0x100000;
inline constexpr EventFlags function = 0x800000;
inline constexpr EventFlags leftOptionDevice = 0x20;
inline constexpr EventFlags rightOptionDevice = 0x40;
}  // namespace eventFlags

enum class InputEventType : std::uint32_t {
    leftMouseDown = 1,
    rightMouseDown = 3,
    keyDown = 10,
    keyUp = 11,
    flagsChanged = 12,
    scrollWheel = 22,
    otherMouseDown = 25,
    tapDisabledByTimeout = 0xFFFFFFFE,
    tapDisabledByUserInput = 0xFFFFFFFF,
};

// A keyboard or mouse event as the tap sees it, and as synthetic events are posted.
struct InputEvent {
    InputEventType type = InputEventType::keyDown;
    std::uint16_t keyCode = 0;
    EventFlags flags = 0;
    bool autorepeat = false;
    // The source user-data field (42); synthetic events of this system carry a marker here.
    std::int64_t userData = 0;
    Point location;
    bool operator==(const InputEvent&) const = default;
};

// An installed event tap; destroying it removes it.
class EventTap {
  public:
    virtual ~EventTap() = default;
    virtual void setEnabled(bool enabled) = 0;
    // The keys whose presses the handler may swallow, replacing the earlier claim. Where the tap
    // sees every event before applications do (macOS, the simulated desktop) any key may be
    // swallowed and this always succeeds; where applications are handed keys first (X11) only a
    // claimed key can be held back, and false means another application holds one of them.
    virtual bool withhold(const std::vector<std::uint16_t>& keyCodes) = 0;
};

// Returns the event to deliver (possibly changed), or none to swallow it.
using EventTapHandler = std::function<std::optional<InputEvent>(const InputEvent&)>;

class Keyboard {
  public:
    virtual ~Keyboard() = default;

    // Combined session state.
    virtual EventFlags sessionFlags() = 0;
    virtual bool isKeyDown(std::uint16_t keyCode) = 0;
    // Whether this keyboard reports the key at all, to taps and in the session state; most X11
    // keyboards never report Fn.
    virtual bool canReport(std::uint16_t keyCode) = 0;

    // A key event from an event source of HID system state; none when either the source or
    // the event cannot be created.
    virtual std::optional<InputEvent> createKeyEvent(std::uint16_t keyCode, bool keyDown) = 0;
    // Posts at the session event tap.
    virtual void post(const InputEvent& event) = 0;

    // Whether the current keyboard layout has Unicode layout data.
    virtual bool hasLayoutData() = 0;
    // What the key types in the current layout without modifiers (UTF-16 units); none when
    // translation fails.
    virtual std::optional<std::u16string> translate(std::uint16_t keyCode) = 0;

    // Global key-down monitor; the handler may run on any thread. Keep the token alive.
    virtual std::shared_ptr<void> addGlobalKeyDownMonitor(
        std::function<void(std::uint16_t keyCode)> handler) = 0;

    // An active tap at the session level for the event types in `mask` (bit per type); none
    // when the platform refuses (missing permission). The handler runs on the main thread.
    virtual std::unique_ptr<EventTap> createEventTap(std::uint64_t mask,
                                                     EventTapHandler handler) = 0;
};

}  // namespace lumora::platform
