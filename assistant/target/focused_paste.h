// Delivers a whole reply into the user's field through the clipboard and a synthetic
// Command-V, then puts the user's clipboard back a second later unless somebody used the
// clipboard meanwhile.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/keyboard.h"
#include "platform/pasteboard.h"
#include "runtime/task.h"
#include "runtime/task_scope.h"

namespace lumora {

// The effects of a paste; each one left empty takes its platform default.
struct PasteOperations {
    platform::Pasteboard* pasteboard = nullptr;
    std::function<Task<void>(double seconds)> sleep;
    std::function<bool()> dispatch;
    std::function<bool(platform::Pasteboard&, const std::string&)> writeText;
    std::function<void(std::function<void()>)> scheduleRestore;
};

class FocusedPaste {
  public:
    // `restores` owns the putting back of the user's clipboard, which outlives the paste.
    FocusedPaste(platform::Pasteboard& pasteboard, platform::Keyboard& keyboard,
                 TaskScope& restores, PasteOperations operations = {});

    // True when Command-V was posted for `text`. Both checks are asked again at every step, so
    // switching applications or pressing a modifier during the sequence stops it.
    Task<bool> paste(std::string text, bool restoreClipboard, std::function<bool()> sourceIsActive,
                     std::function<bool()> shortcutPressed);

  private:
    // Waits until no modifier is held; false when the paste must not go on.
    Task<bool> waitForReleasedModifiers(const std::function<bool()>& sourceIsActive,
                                        const std::function<bool()>& shortcutPressed);
    std::vector<platform::PasteboardItem> clipboardContents();
    void scheduleRestore(std::vector<platform::PasteboardItem> saved, long changeCount);

    platform::Pasteboard& pasteboard_;
    PasteOperations operations_;
};

}  // namespace lumora
