// Holds one selection (CLIPBOARD, PRIMARY) for its program, from a thread of its own with its
// own connection and unmapped window: takes the selection when asked, answers TARGETS and every
// target it offers until another client takes it (SelectionClear), and reports each change of
// owner that another client makes, as XFixes tells them. The thread stops at destruction, and
// the selection goes with the window.
#pragma once

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/x11/selection_targets.h"
#include "platform/x11/selection_transfers.h"
#include "platform/x11/selection_window.h"
#include "platform/x11/x11_connection.h"

struct xcb_selection_request_event_t;

namespace lumora::x11 {

class SelectionOwner {
  public:
    // `changedElsewhere` runs on the owner's thread, and so does `lost`, once for each time
    // another client takes the selection from us.
    SelectionOwner(std::shared_ptr<X11Connection> connection, std::string_view selection,
                   std::function<void()> changedElsewhere, std::function<void()> lost = {});
    ~SelectionOwner();
    SelectionOwner(const SelectionOwner&) = delete;
    SelectionOwner& operator=(const SelectionOwner&) = delete;

    // Takes the selection and serves `targets` from now on (none: an empty selection). False
    // when the server did not give it, or when the owner's thread did not get to the offer
    // within a second (the offer is then withdrawn).
    bool own(std::vector<OfferedTarget> targets);
    // Whether we hold the selection, as far as the owner's thread has heard.
    bool owns() const { return owns_; }

  private:
    struct Offer {
        std::vector<OfferedTarget> targets;
        std::promise<bool> taken;
    };

    void run();
    void wake();
    // Answers every event that has arrived.
    void serveEvents();
    void take(Offer& offer);
    void answer(const xcb_selection_request_event_t& request);
    bool send(WindowId requestor, Atom target, Atom property);
    // MULTIPLE: the (target, property) pairs the requestor's property lists, each answered
    // as its own request; a pair refused gets None for its property.
    bool sendMultiple(WindowId requestor, Atom property);
    void cleared();
    WindowId currentOwner();

    const std::shared_ptr<X11Connection> connection_;
    const std::function<void()> changedElsewhere_;
    const std::function<void()> lost_;
    SelectionWindow window_;
    const Atom selection_;
    // The code of XFixes' selection event; 0 when the server lacks the extension, and changes
    // made by others go uncounted.
    const std::uint8_t ownerChangeEvent_;
    // The owner's thread alone uses the transfers and what it serves.
    SelectionTransfers transfers_;
    std::vector<OfferedTarget> served_;
    std::atomic<bool> owns_ = false;
    std::mutex mutex_;  // guards offer_
    std::optional<Offer> offer_;
    std::atomic<bool> stopping_ = false;
    const int wakeup_;
    std::thread thread_;
};

}  // namespace lumora::x11
