// Reads a selection (CLIPBOARD, PRIMARY) from whichever client owns it, on a connection and
// window of its own: the owner's targets, and its bytes for one target, incremental (INCR)
// transfers included. Every
// wait is bounded, so an owner that never answers, or goes away mid-transfer, reads as no data
// after one bound per step instead of hanging its caller. One conversion at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/x11/selection_targets.h"
#include "platform/x11/selection_window.h"
#include "platform/x11/x11_connection.h"

namespace lumora::x11 {

class SelectionReader {
  public:
    SelectionReader(std::shared_ptr<X11Connection> connection, std::string_view selection);

    // The window that owns the selection; 0 when nobody does.
    WindowId owner();
    // The owner's targets by name, in its order; empty when it offers none in time.
    std::vector<std::string> targets();
    // The owner's bytes for `target`; none when it refuses, or does not answer in time.
    std::optional<std::string> convert(std::string_view target);
    // The same for text, in UTF-8: a reply of type STRING is Latin-1 and comes converted.
    std::optional<std::string> convertText(std::string_view target);
    // Everything the owner offers, as the pasteboard's types with their bytes (see
    // readableTypes); types it refuses are left out.
    HeldItem item();

  private:
    struct Property {
        Atom type = 0;
        std::uint8_t format = 0;
        std::string bytes;
    };
    // One conversion, the others kept out meanwhile.
    std::optional<Property> requestOne(std::string_view target);
    std::optional<Property> request(Atom target);
    // Reads the property of our window whole and deletes it; none when it is not there.
    std::optional<Property> take(Atom property);
    std::optional<Property> receiveIncrementally(Atom property);

    std::shared_ptr<X11Connection> connection_;
    SelectionWindow window_;
    const Atom selection_;
    const Atom destination_;
    std::mutex mutex_;  // one conversion at a time: they share the window and its property
};

}  // namespace lumora::x11
