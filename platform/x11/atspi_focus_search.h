// Finding the focused element by walking an application's tree, for when its focus events
// cannot be trusted or were never seen: toolkits that were focused before the helper started
// send none, several answer no search by state (Collection), and some send a burst of focus
// changes whose order the bus does not keep. Bounded in nodes and time, and given up at the
// first call that fails, so a hung application costs one bus timeout. Accessibility thread
// only.
#pragma once

#include "platform/x11/atspi_ref.h"

namespace lumora::x11::focus_search {

struct Found {
    GRef<AtspiAccessible> element;
    // A call failed, which cut the search short: the application may have stopped answering.
    bool unanswered = false;
};

// The application's active window, else (`orShowing`) its first window on screen.
Found frontWindowOf(AtspiAccessible* application, bool orShowing);

// The element in `root`'s subtree (`root` included) that has the focused state now, the
// innermost editable one when several have it.
Found innermostFocused(AtspiAccessible* root);

}  // namespace lumora::x11::focus_search
