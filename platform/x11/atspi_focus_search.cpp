#include "platform/x11/atspi_focus_search.h"

#include <chrono>
#include <cstddef>
#include <deque>

#include "platform/x11/atspi_roles.h"

namespace lumora::x11::focus_search {

namespace {

using Clock = std::chrono::steady_clock;

// An editor's window holds a few hundred elements; an office document's a few thousand, but
// the search leaves a subtree as soon as a focused container shows where the focus is.
constexpr std::size_t maximumNodes = 1500;
constexpr auto maximumTime = std::chrono::milliseconds(400);
// Spreadsheets and long lists report children by the thousand (a sheet by the billion); the
// focus of such a container is found among the ones in view, which come first.
constexpr gint maximumChildren = 256;

bool contains(AtspiStateSet* states, AtspiStateType state) {
    return atspi_state_set_contains(states, state);
}

}  // namespace

GRef<AtspiAccessible> frontWindowOf(AtspiAccessible* application, bool orShowing) {
    GRef<AtspiAccessible> showing;
    ErrorSlot error;
    gint count = atspi_accessible_get_child_count(application, error.out());
    for (gint index = 0; index < count && !error.failed(); ++index) {
        GRef<AtspiAccessible> child(
            atspi_accessible_get_child_at_index(application, index, error.out()));
        ErrorSlot roleError;
        if (!child || !isWindowRole(atspi_accessible_get_role(child.get(), roleError.out()))) {
            continue;
        }
        GRef<AtspiStateSet> states(atspi_accessible_get_state_set(child.get()));
        if (!states) continue;
        if (contains(states.get(), ATSPI_STATE_ACTIVE)) return child;
        if (orShowing && !showing && contains(states.get(), ATSPI_STATE_SHOWING)) {
            showing = std::move(child);
        }
    }
    return showing;
}

// Focus nests: toolkits mark a focused container as well as the focused element inside it
// (LibreOffice its document pane and the paragraph with the caret; Qt the tab, its text view
// and the view's viewport), so once a focused element turns up, the search goes on beneath it
// only. The innermost editable one wins over the rest, since an editor's viewport holds no
// text; without one, the innermost.
GRef<AtspiAccessible> innermostFocused(AtspiAccessible* root) {
    auto deadline = Clock::now() + maximumTime;
    std::deque<GRef<AtspiAccessible>> waiting;
    waiting.push_back(retain(root));
    GRef<AtspiAccessible> chosen;
    bool chosenEditable = false;
    for (std::size_t visited = 0; !waiting.empty() && visited < maximumNodes; ++visited) {
        if (Clock::now() >= deadline) break;
        GRef<AtspiAccessible> node = std::move(waiting.front());
        waiting.pop_front();
        GRef<AtspiStateSet> states(atspi_accessible_get_state_set(node.get()));
        if (!states) break;
        if (contains(states.get(), ATSPI_STATE_FOCUSED)) {
            bool editable = contains(states.get(), ATSPI_STATE_EDITABLE);
            if (editable || !chosenEditable) {
                chosen = retain(node.get());
                chosenEditable = editable;
            }
            waiting.clear();
        }
        ErrorSlot error;
        gint count = atspi_accessible_get_child_count(node.get(), error.out());
        if (error.failed()) break;
        for (gint index = 0; index < count && index < maximumChildren; ++index) {
            GRef<AtspiAccessible> child(
                atspi_accessible_get_child_at_index(node.get(), index, error.out()));
            if (error.failed()) return chosen;
            if (child) waiting.push_back(std::move(child));
        }
    }
    return chosen;
}

}  // namespace lumora::x11::focus_search
