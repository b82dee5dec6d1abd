// The paste gesture of the window in front: the paste's Command-V, which is Control+V on this
// desktop, becomes the keys that paste in the active window (paste_keys.h). A terminal is known
// by its window's WM_CLASS, or by accessibility when its focused element is a terminal of the
// active window's process. For a terminal that pastes PRIMARY, the clipboard's text is lent to
// PRIMARY first (primary_loan.h). Used on the main thread, where keys are posted.
#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>
#include <optional>

#include "platform/keyboard.h"
#include "platform/pasteboard.h"
#include "platform/x11/paste_keys.h"
#include "platform/x11/primary_loan.h"
#include "platform/x11/x11_connection.h"

namespace lumora::x11 {

class WindowPaste {
  public:
    // `focusedTerminal` answers the process whose terminal has the focus, 0 when the focused
    // element is no terminal.
    WindowPaste(std::shared_ptr<X11Connection> display, std::function<pid_t()> focusedTerminal,
                platform::Pasteboard& clipboard, PrimaryLoan& primary);

    // The event to post for `event`: itself, unless it is a key of the paste's Command-V
    // (`typesV`: its key types "v" in the current layout).
    platform::InputEvent adapt(const platform::InputEvent& event, bool typesV);

  private:
    PasteKeys keysOfActiveWindow();
    // PRIMARY holds the clipboard's text; false when there is none or PRIMARY was not taken.
    bool lendClipboardToPrimary();

    std::shared_ptr<X11Connection> display_;
    std::function<pid_t()> focusedTerminal_;
    platform::Pasteboard& clipboard_;
    PrimaryLoan& primary_;
    // The keys its key down became, for the key up of the same Command-V.
    std::optional<PasteKeys> pressed_;
};

}  // namespace lumora::x11
