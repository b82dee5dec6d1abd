// Which element has the keyboard focus, system-wide and in each application, followed from
// the toolkits' focus events rather than by walking trees on every question. An application
// whose focus was never seen is asked once for its focused descendant. Lives on the
// accessibility thread.
#pragma once

#include <sys/types.h>

#include <functional>
#include <map>

#include "platform/x11/atspi_ref.h"

namespace lumora::x11 {

class AtspiFocus {
  public:
    // `pidOf` answers an element's process id, or 0 when it cannot.
    explicit AtspiFocus(std::function<pid_t(AtspiAccessible*)> pidOf);
    ~AtspiFocus();
    AtspiFocus(const AtspiFocus&) = delete;
    AtspiFocus& operator=(const AtspiFocus&) = delete;

    // The element that has the focus now, if any. Before the first focus event, the
    // applications under `desktop` are asked once which of their elements has it.
    AtspiAccessible* current(AtspiAccessible* desktop);
    // The element that last had the focus in the application whose root is `application`.
    AtspiAccessible* focusedIn(pid_t pid, AtspiAccessible* application);

  private:
    static void onFocusEvent(AtspiEvent* event, void* self);
    void focusChanged(AtspiAccessible* source, bool focused);

    std::function<pid_t(AtspiAccessible*)> pidOf_;
    GRef<AtspiEventListener> listener_;
    GRef<AtspiAccessible> current_;
    bool searched_ = false;
    std::map<pid_t, GRef<AtspiAccessible>> lastByApplication_;
};

}  // namespace lumora::x11
