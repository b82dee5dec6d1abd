// The stdin side of the host link, run on its own thread: reads lines with bounded memory,
// answers undecodable ones itself and hands every decoded request on in arrival order.
#pragma once

#include <functional>

#include "assistant/host/request.h"

namespace lumora {

inline constexpr std::size_t maxCommandLineBytes = 99'999;

// Returns at the end of input.
void readCommands(int fd, const std::function<void(Request)>& deliver);

}  // namespace lumora
