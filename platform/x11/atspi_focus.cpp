#include "platform/x11/atspi_focus.h"

#include "platform/x11/atspi_focus_search.h"

namespace lumora::x11 {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* focusEvent = "object:state-changed:focused";
// How long an application whose window held no focused element is not searched again, unless
// its focus moves: the focus is asked for several times a capture and with every streamed
// piece, and each search of a large tree may take its whole time bound.
constexpr auto searchPause = std::chrono::seconds(1);

GRef<AtspiAccessible> applicationOf(AtspiAccessible* element) {
    ErrorSlot error;
    return GRef<AtspiAccessible>(atspi_accessible_get_application(element, error.out()));
}

}  // namespace

AtspiFocus::AtspiFocus(std::function<pid_t(AtspiAccessible*)> pidOf)
    : pidOf_(std::move(pidOf)),
      listener_(atspi_event_listener_new(&AtspiFocus::onFocusEvent, this, nullptr)) {
    atspi_event_listener_register(listener_.get(), focusEvent, nullptr);
}

AtspiFocus::~AtspiFocus() {
    atspi_event_listener_deregister(listener_.get(), focusEvent, nullptr);
}

void AtspiFocus::onFocusEvent(AtspiEvent* event, void* self) {
    if (event->source) static_cast<AtspiFocus*>(self)->focusChanged(event->source, event->detail1);
}

void AtspiFocus::focusChanged(AtspiAccessible* source, bool focused) {
    if (!focused) {
        // An application keeps its focused element while another has the focus; only the
        // system-wide focus is gone.
        if (current_.get() == source) current_.reset();
        return;
    }
    current_ = retain(source);
    if (pid_t pid = pidOf_(source)) {
        lastByApplication_[pid] = retain(source);
        searchedInVain_.erase(pid);
    }
}

bool AtspiFocus::confirm(GRef<AtspiAccessible>& tracked, pid_t pid, AtspiAccessible* application) {
    focus_search::Found found;
    if (tracked) found = focus_search::innermostFocused(tracked.get());
    auto inVain = searchedInVain_.find(pid);
    bool searchable = inVain == searchedInVain_.end() || Clock::now() >= inVain->second;
    if (!found.element && !found.unanswered && searchable) {
        focus_search::Found window = focus_search::frontWindowOf(application, true);
        found = window.element ? focus_search::innermostFocused(window.element.get())
                               : std::move(window);
        if (!found.element) searchedInVain_[pid] = Clock::now() + searchPause;
    }
    if (found.element) tracked = std::move(found.element);
    return !found.unanswered;
}

AtspiAccessible* AtspiFocus::current() {
    if (!current_) return nullptr;
    GRef<AtspiAccessible> application = applicationOf(current_.get());
    if (application && !confirm(current_, pidOf_(current_.get()), application.get())) {
        return nullptr;
    }
    return current_.get();
}

AtspiAccessible* AtspiFocus::focusedIn(pid_t pid, AtspiAccessible* application) {
    GRef<AtspiAccessible>& tracked = lastByApplication_[pid];
    return confirm(tracked, pid, application) ? tracked.get() : nullptr;
}

}  // namespace lumora::x11
