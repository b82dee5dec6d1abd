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
    searched_ = true;
    current_ = retain(source);
    if (pid_t pid = pidOf_(source)) {
        lastByApplication_[pid] = retain(source);
        searchedInVain_.erase(pid);
    }
}

void AtspiFocus::confirm(GRef<AtspiAccessible>& tracked, pid_t pid, AtspiAccessible* application) {
    GRef<AtspiAccessible> found;
    if (tracked) found = focus_search::innermostFocused(tracked.get());
    auto inVain = searchedInVain_.find(pid);
    bool searchable = inVain == searchedInVain_.end() || Clock::now() >= inVain->second;
    if (!found && searchable) {
        if (GRef<AtspiAccessible> window = focus_search::frontWindowOf(application, true)) {
            found = focus_search::innermostFocused(window.get());
        }
        if (!found) searchedInVain_[pid] = Clock::now() + searchPause;
    }
    if (found) tracked = std::move(found);
}

AtspiAccessible* AtspiFocus::current(AtspiAccessible* desktop) {
    if (current_) {
        GRef<AtspiAccessible> application = applicationOf(current_.get());
        if (application) confirm(current_, pidOf_(current_.get()), application.get());
        return current_.get();
    }
    if (searched_ || !desktop) return nullptr;
    // No focus event since the helper started: the application with an active window has it.
    // Searched once, as every application is asked.
    searched_ = true;
    ErrorSlot error;
    gint count = atspi_accessible_get_child_count(desktop, error.out());
    for (gint index = 0; index < count && !current_; ++index) {
        ErrorSlot childError;
        GRef<AtspiAccessible> application(
            atspi_accessible_get_child_at_index(desktop, index, childError.out()));
        GRef<AtspiAccessible> window =
            application ? focus_search::frontWindowOf(application.get(), false) : nullptr;
        if (window) current_ = focus_search::innermostFocused(window.get());
    }
    return current_.get();
}

AtspiAccessible* AtspiFocus::focusedIn(pid_t pid, AtspiAccessible* application) {
    GRef<AtspiAccessible>& tracked = lastByApplication_[pid];
    confirm(tracked, pid, application);
    return tracked.get();
}

}  // namespace lumora::x11
