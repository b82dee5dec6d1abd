#include "platform/x11/atspi_focus_search.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <deque>
#include <iterator>

#include "platform/x11/atspi_roles.h"

namespace lumora::x11::focus_search {

namespace {

using Clock = std::chrono::steady_clock;

// An editor's window holds a few hundred elements; an office document's a few thousand, but
// the search turns first to the subtree of a focused container, where the focus is.
constexpr std::size_t maximumNodes = 1500;
constexpr auto maximumTime = std::chrono::milliseconds(400);
// Spreadsheets and long lists report children by the thousand (a sheet by the billion); the
// focus of such a container is found among the ones in view, which come first.
constexpr gint maximumChildren = 256;
// Focused editable elements a toolkit's own search may report, stale ones among them.
constexpr gint maximumMatches = 8;

bool contains(AtspiStateSet* states, AtspiStateType state) {
    return atspi_state_set_contains(states, state);
}

}  // namespace

Found frontWindowOf(AtspiAccessible* application, bool orShowing) {
    Found showing;
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
        if (contains(states.get(), ATSPI_STATE_ACTIVE)) return {std::move(child)};
        if (orShowing && !showing.element && contains(states.get(), ATSPI_STATE_SHOWING)) {
            showing.element = std::move(child);
        }
    }
    showing.unanswered = error.failed();
    return showing;
}

// Toolkits on ATK (GTK 3, LibreOffice) search their own trees by state: one call finds an
// editable focused element however deep, where a walk may spend its bounds on toolbars first.
// LibreOffice leaves the focused state on paragraphs the caret has left, so the one holding
// the caret wins. None when the toolkit does not search (GTK 4, Qt) or has no such element.
GRef<AtspiAccessible> editableFocusedBySearch(AtspiAccessible* root) {
    GRef<AtspiCollection> collection(atspi_accessible_get_collection_iface(root));
    if (!collection) return nullptr;
    GRef<AtspiStateSet> states(atspi_state_set_new(nullptr));
    atspi_state_set_add(states.get(), ATSPI_STATE_FOCUSED);
    atspi_state_set_add(states.get(), ATSPI_STATE_EDITABLE);
    GRef<AtspiMatchRule> rule(atspi_match_rule_new(
        states.get(), ATSPI_Collection_MATCH_ALL, nullptr, ATSPI_Collection_MATCH_ALL, nullptr,
        ATSPI_Collection_MATCH_ALL, nullptr, ATSPI_Collection_MATCH_ALL, FALSE));
    ErrorSlot error;
    GArray* found = atspi_collection_get_matches(collection.get(), rule.get(),
                                                 ATSPI_Collection_SORT_ORDER_CANONICAL,
                                                 maximumMatches, TRUE, error.out());
    if (!found) return nullptr;
    GRef<AtspiAccessible> chosen;
    bool chosenHasCaret = false;
    for (guint index = 0; index < found->len; ++index) {
        GRef<AtspiAccessible> match(g_array_index(found, AtspiAccessible*, index));
        if (chosenHasCaret) continue;
        GRef<AtspiText> text(atspi_accessible_get_text_iface(match.get()));
        ErrorSlot caretError;
        bool hasCaret = text && atspi_text_get_caret_offset(text.get(), caretError.out()) >= 0 &&
                        !caretError.failed();
        if (!chosen || hasCaret) {
            chosen = std::move(match);
            chosenHasCaret = hasCaret;
        }
    }
    g_array_free(found, TRUE);
    return chosen;
}

// Toolkits mark more than one element focused: LibreOffice its document pane and the
// paragraph with the caret inside it, Qt the current tab as well as its text view and the
// view's viewport. The text is what the user types into, so an editable focused element wins,
// and the search goes on beneath it only, for one nested deeper; beneath a focused element
// that is not editable the search goes on first, the rest put off until its subtree is done,
// and it is the answer when no editable one turns up.
Found innermostFocused(AtspiAccessible* root) {
    if (GRef<AtspiAccessible> searched = editableFocusedBySearch(root))
        return {std::move(searched)};
    auto deadline = Clock::now() + maximumTime;
    std::deque<GRef<AtspiAccessible>> waiting;
    std::deque<GRef<AtspiAccessible>> putOff;
    waiting.push_back(retain(root));
    Found chosen;
    bool chosenEditable = false;
    for (std::size_t visited = 0; visited < maximumNodes; ++visited) {
        if (waiting.empty()) waiting.swap(putOff);
        if (waiting.empty() || Clock::now() >= deadline) break;
        GRef<AtspiAccessible> node = std::move(waiting.front());
        waiting.pop_front();
        GRef<AtspiStateSet> states(atspi_accessible_get_state_set(node.get()));
        if (!states) {
            chosen.unanswered = true;
            break;
        }
        if (contains(states.get(), ATSPI_STATE_FOCUSED)) {
            bool editable = contains(states.get(), ATSPI_STATE_EDITABLE);
            if (editable) {
                putOff.clear();
            } else {
                // What waited before this subtree is searched after it, before what was put off
                // for an enclosing one.
                putOff.insert(putOff.begin(), std::make_move_iterator(waiting.begin()),
                              std::make_move_iterator(waiting.end()));
            }
            waiting.clear();
            if (editable || !chosenEditable) {
                chosen.element = retain(node.get());
                chosenEditable = editable;
            }
        }
        ErrorSlot error;
        gint count = atspi_accessible_get_child_count(node.get(), error.out());
        for (gint index = 0; index < std::min(count, maximumChildren) && !error.failed(); ++index) {
            GRef<AtspiAccessible> child(
                atspi_accessible_get_child_at_index(node.get(), index, error.out()));
            if (child) waiting.push_back(std::move(child));
        }
        if (error.failed()) {
            chosen.unanswered = true;
            break;
        }
    }
    return chosen;
}

}  // namespace lumora::x11::focus_search
