#include "platform/x11/atspi_focus.h"

namespace lumora::x11 {

namespace {

constexpr const char* focusEvent = "object:state-changed:focused";

// One focused descendant of `application`, found by the application itself.
GRef<AtspiAccessible> searchFocused(AtspiAccessible* application) {
    GRef<AtspiCollection> collection(atspi_accessible_get_collection_iface(application));
    if (!collection) return nullptr;
    GRef<AtspiStateSet> states(atspi_state_set_new(nullptr));
    atspi_state_set_add(states.get(), ATSPI_STATE_FOCUSED);
    GRef<AtspiMatchRule> rule(atspi_match_rule_new(
        states.get(), ATSPI_Collection_MATCH_ALL, nullptr, ATSPI_Collection_MATCH_ALL, nullptr,
        ATSPI_Collection_MATCH_ALL, nullptr, ATSPI_Collection_MATCH_ALL, FALSE));
    ErrorSlot error;
    GArray* found = atspi_collection_get_matches(
        collection.get(), rule.get(), ATSPI_Collection_SORT_ORDER_CANONICAL, 1, TRUE, error.out());
    if (!found) return nullptr;
    GRef<AtspiAccessible> first;
    for (guint index = 0; index < found->len; ++index) {
        GRef<AtspiAccessible> match(g_array_index(found, AtspiAccessible*, index));
        if (!first) first = std::move(match);
    }
    g_array_free(found, TRUE);
    return first;
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
    if (pid_t pid = pidOf_(source)) lastByApplication_[pid] = retain(source);
}

AtspiAccessible* AtspiFocus::current(AtspiAccessible* desktop) {
    if (current_ || searched_ || !desktop) return current_.get();
    searched_ = true;
    ErrorSlot error;
    gint count = atspi_accessible_get_child_count(desktop, error.out());
    for (gint index = 0; index < count && !current_; ++index) {
        ErrorSlot childError;
        GRef<AtspiAccessible> application(
            atspi_accessible_get_child_at_index(desktop, index, childError.out()));
        if (application) current_ = searchFocused(application.get());
    }
    return current_.get();
}

AtspiAccessible* AtspiFocus::focusedIn(pid_t pid, AtspiAccessible* application) {
    auto known = lastByApplication_.find(pid);
    if (known != lastByApplication_.end()) return known->second.get();
    GRef<AtspiAccessible> found = searchFocused(application);
    if (!found) return nullptr;
    return (lastByApplication_[pid] = std::move(found)).get();
}

}  // namespace lumora::x11
