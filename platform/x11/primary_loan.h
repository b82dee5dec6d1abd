// The PRIMARY selection lent to a paste: terminals such as xterm paste PRIMARY, not the
// clipboard, so the helper serves the reply there for a moment and then gives the user's
// selection back exactly as the clipboard's is given back: a second later, byte for byte, unless
// another client selected something meanwhile, which is newer than what was kept. Lives on the
// main thread (its restore is a timer of the main loop); the owner's thread serves.
#pragma once

#include <atomic>
#include <optional>
#include <string>

#include "platform/x11/selection_owner.h"
#include "platform/x11/selection_reader.h"
#include "platform/x11/selection_targets.h"
#include "runtime/event_loop.h"

namespace lumora::x11 {

class PrimaryLoan {
  public:
    // Opens two connections of its own. Throws lumora::Error (errorDomain, 1) when it cannot.
    explicit PrimaryLoan(EventLoop& loop);

    // Serves `text` as PRIMARY in place of the user's selection; false when PRIMARY could not
    // be taken.
    bool lend(const std::string& text);
    // A loan still out comes back now, as the helper is about to go.
    void returnNow();
    // What the helper serves as PRIMARY while it holds it and it is not empty.
    std::optional<HeldItem> held() const;

  private:
    void giveBack();

    // Changes of owner other clients made, counted by the owner's thread.
    std::atomic<long> changesElsewhere_ = 0;
    SelectionReader reader_;
    SelectionOwner owner_;
    Timer restore_;
    // While a loan is out: the user's selection, and the count of changes when it was lent.
    HeldItem saved_;
    long lentAt_ = 0;
    HeldItem served_;
};

}  // namespace lumora::x11
