// The owner's replies, written into each requestor's property: at once when a value fits in
// one chunk, otherwise incrementally (INCR): the size first, then one chunk each time the
// requestor deletes the property, then an empty one. Every requestor's transfer is its own, so
// one that vanishes mid-transfer (its window destroyed, or a write failing with BadWindow) or
// stops reading ends its own transfer and no other. Used by the owner's thread alone.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "platform/x11/selection_targets.h"
#include "platform/x11/x11_connection.h"

namespace lumora::x11 {

class SelectionTransfers {
  public:
    using Clock = std::chrono::steady_clock;

    explicit SelectionTransfers(X11Connection& connection);

    // Puts `bytes`, as `type`, into the requestor's property, or starts a transfer in chunks;
    // false when the requestor's window is gone.
    bool send(WindowId requestor, Atom property, Atom type, SharedBytes bytes);
    // A list of atoms, such as TARGETS, always small enough for one property.
    bool sendAtoms(WindowId requestor, Atom property, const std::vector<Atom>& atoms);

    // The requestor deleted a property: the next chunk of its transfer there, if any.
    void propertyDeleted(WindowId window, Atom property);
    void windowDestroyed(WindowId window);
    // Ends the transfers whose requestor read nothing for a while. Returns when the next of
    // the others would be due; none when no transfer runs.
    std::optional<Clock::time_point> endStalled(Clock::time_point now);

  private:
    struct Transfer {
        Atom type = 0;
        SharedBytes bytes;
        std::size_t sent = 0;
        Clock::time_point lastRead;
    };
    using Transfers = std::map<std::pair<WindowId, Atom>, Transfer>;

    bool write(WindowId window, Atom property, Atom type, std::uint8_t format, const void* data,
               std::size_t units);
    void end(Transfers::iterator transfer);

    X11Connection& connection_;
    Transfers transfers_;
};

}  // namespace lumora::x11
