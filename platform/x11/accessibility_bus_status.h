// Whether assistive technologies are switched on for the session ("org.a11y.Status" of the
// accessibility bus launcher), and switching them on, which asks toolkits that only expose
// their trees on demand to do so. Safe to use from any thread.
#pragma once

#include <memory>
#include <mutex>
#include <optional>

namespace lumora::x11 {

class AccessibilityBusStatus {
  public:
    AccessibilityBusStatus();
    ~AccessibilityBusStatus();
    AccessibilityBusStatus(const AccessibilityBusStatus&) = delete;
    AccessibilityBusStatus& operator=(const AccessibilityBusStatus&) = delete;

    // None when the session bus or the launcher does not answer in time.
    std::optional<bool> isEnabled();
    // False when the launcher refuses or does not answer.
    bool enable();

  private:
    struct Connection;
    // Reconnects when the session bus went away and came back.
    Connection* connection();
    std::mutex mutex_;
    std::unique_ptr<Connection> connection_;
};

}  // namespace lumora::x11
