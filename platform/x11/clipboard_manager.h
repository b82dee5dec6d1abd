// The desktop's clipboard manager, by the freedesktop convention: a client about to exit asks
// the owner of CLIPBOARD_MANAGER to save the clipboard (SAVE_TARGETS, naming the targets), and
// the manager converts them from the client, which must go on serving, and keeps them once the
// client is gone.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace lumora::x11 {

// Asks the manager to save `targets` of the clipboard the caller holds, and waits for its
// answer, at most `limit`. True when it says it saved them; false when there is no manager,
// it refuses, or it does not answer in time.
bool saveInClipboardManager(const std::vector<std::string>& targets,
                            std::chrono::milliseconds limit);

}  // namespace lumora::x11
