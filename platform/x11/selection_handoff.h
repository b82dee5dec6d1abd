// What becomes of the selections the helper holds when it exits: nothing a user copied may go
// with it. The clipboard goes to the desktop's clipboard manager when there is one that saves
// it; what is left goes to the clipboard keeper (selection_keeper.h). Bounded, so that a
// manager or keeper that does not answer delays the exit by at most a few seconds.
#pragma once

#include <vector>

#include "platform/x11/held_selections.h"

namespace lumora::x11 {

void handOnSelections(std::vector<HeldSelection> selections);

}  // namespace lumora::x11
