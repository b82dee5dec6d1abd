// Which element has the keyboard focus, system-wide and in each application. Focus events say
// where it went, but not reliably: a burst of them (LibreOffice moves it paragraph, document
// pane, paragraph within a millisecond) may end on a stale one, and an application focused
// before the helper started sends none. So the element an event named is checked, when asked,
// against the focused state it holds now, and the innermost focused element beneath it wins;
// when it no longer holds the focus, or no event was seen, the application's active window is
// searched (a window that held no focused element not again for a second, unless an event
// comes). Lives on the accessibility thread.
#pragma once

#include <sys/types.h>

#include <chrono>
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

    // The element that has the focus now, if any; none before the first focus event, since
    // an application's own focus is what is asked for, and is searched for there. Both answer
    // none when the application left a call unanswered.
    AtspiAccessible* current();
    // The element the focus was last known on, as it was: no call is made.
    AtspiAccessible* lastKnown() const { return current_.get(); }
    // The element that has the focus in the application whose root is `application`; while
    // none has (its window is not active), the one that had it last.
    AtspiAccessible* focusedIn(pid_t pid, AtspiAccessible* application);

  private:
    static void onFocusEvent(AtspiEvent* event, void* self);
    void focusChanged(AtspiAccessible* source, bool focused);
    // Replaces `tracked` with the element that has the focus now within `tracked`, or else
    // within the front window of `application` (process `pid`); keeps it when neither has a
    // focused element. False when the application left a call unanswered.
    bool confirm(GRef<AtspiAccessible>& tracked, pid_t pid, AtspiAccessible* application);

    std::function<pid_t(AtspiAccessible*)> pidOf_;
    GRef<AtspiEventListener> listener_;
    GRef<AtspiAccessible> current_;
    std::map<pid_t, GRef<AtspiAccessible>> lastByApplication_;
    // Applications whose window held no focused element, until when they are not searched.
    std::map<pid_t, std::chrono::steady_clock::time_point> searchedInVain_;
};

}  // namespace lumora::x11
