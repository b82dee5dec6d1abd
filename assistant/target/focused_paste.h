// Delivers a whole reply into the user's field through the clipboard and a synthetic
// Command-V, then puts the user's clipboard back a second later unless somebody used the
// clipboard meanwhile.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/keyboard.h"
#include "platform/pasteboard.h"
#include "runtime/event_loop.h"
#include "runtime/task.h"

namespace lumora {

// The user's clipboard while pastes borrow it. There is one for the process, shared by every
// paste, because only it knows whether what is on the clipboard is the user's or our reply.
class BorrowedClipboard {
  public:
    BorrowedClipboard(EventLoop& loop, platform::Pasteboard& pasteboard);

    platform::Pasteboard& pasteboard() { return pasteboard_; }
    // Writes a reply with `write` in place of the user's clipboard, which comes back a second
    // later unless something else is written to the clipboard by then. Returns what `write`
    // returns.
    bool lend(const std::function<bool(platform::Pasteboard&)>& write);
    // Runs `done` once the user's clipboard is back, at once when no paste has it. A later
    // call replaces an earlier one still waiting.
    void whenReturned(std::function<void()> done);

  private:
    void giveBack();

    platform::Pasteboard& pasteboard_;
    Timer restore_;
    std::vector<platform::PasteboardItem> saved_;
    // The change count our last reply left; while the clipboard still has it, the reply is
    // ours and `saved_` is the user's.
    long written_ = 0;
    std::function<void()> returned_;
};

// The effects of a paste; each one left empty takes its platform default.
struct PasteOperations {
    std::function<Task<void>(double seconds)> sleep;
    std::function<bool()> dispatch;
    std::function<bool(platform::Pasteboard&, const platform::PasteboardItem&)> writeItem;
};

class FocusedPaste {
  public:
    FocusedPaste(BorrowedClipboard& clipboard, platform::Keyboard& keyboard,
                 PasteOperations operations = {});

    // True when Command-V was posted for `text`. Both checks are asked again at every step, so
    // switching applications or pressing a modifier during the sequence stops it.
    Task<bool> paste(std::string text, bool restoreClipboard, std::function<bool()> sourceIsActive,
                     std::function<bool()> shortcutPressed);

  private:
    // Waits until no modifier is held; false when the paste must not go on.
    Task<bool> waitForReleasedModifiers(const std::function<bool()>& sourceIsActive,
                                        const std::function<bool()>& shortcutPressed);

    BorrowedClipboard& clipboard_;
    PasteOperations operations_;
};

}  // namespace lumora
