// Hands selections to the clipboard keeper (lumora-clipboard-keeper, installed beside the
// helper), a small detached process that serves them until other clients take them, as the
// X tools that own a selection do once their command has returned. The helper's many threads
// rule out forking it and going on with its X connection, so the keeper is a program of its
// own, given the selections through a pipe.
#pragma once

#include <chrono>
#include <vector>

#include "platform/x11/held_selections.h"

namespace lumora::x11 {

// Starts the keeper and waits until it serves every selection it could take, at most `limit`.
// True once it said so; false when it could not be started or did not say so in time.
bool handToSelectionKeeper(const std::vector<HeldSelection>& selections,
                           std::chrono::milliseconds limit);

}  // namespace lumora::x11
