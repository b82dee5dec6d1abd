#include "platform/x11/selection_owner.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <utility>

namespace lumora::x11 {

namespace {

using Clock = SelectionTransfers::Clock;

// Far longer than the server takes to hand over a selection; a write refused after it does
// not leave the caller waiting on a server that hangs.
constexpr auto ownershipLimit = std::chrono::seconds(1);

// Subscribes the window to every change of the selection's owner. Returns the code of the
// events that report them; 0 without XFixes.
std::uint8_t watchOwners(X11Connection& connection, WindowId window, Atom selection) {
    xcb_connection_t* raw = connection.raw();
    const xcb_query_extension_reply_t* fixes = xcb_get_extension_data(raw, &xcb_xfixes_id);
    if (fixes == nullptr || fixes->present == 0) return 0;
    // The server speaks XFixes only with clients that said which version they speak.
    Reply<xcb_xfixes_query_version_reply_t> version(xcb_xfixes_query_version_reply(
        raw, xcb_xfixes_query_version(raw, XCB_XFIXES_MAJOR_VERSION, XCB_XFIXES_MINOR_VERSION),
        nullptr));
    if (!version) return 0;
    xcb_xfixes_select_selection_input(raw, window, selection,
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    xcb_flush(raw);
    return fixes->first_event + XCB_XFIXES_SELECTION_NOTIFY;
}

int millisecondsUntil(std::optional<Clock::time_point> due) {
    if (!due) return -1;
    auto left = std::chrono::ceil<std::chrono::milliseconds>(*due - Clock::now()).count();
    return static_cast<int>(std::max<decltype(left)>(left, 0));
}

template <class Event>
const Event& as(const xcb_generic_event_t& event) {
    return reinterpret_cast<const Event&>(event);
}

}  // namespace

SelectionOwner::SelectionOwner(std::shared_ptr<X11Connection> connection,
                               std::string_view selection, std::function<void()> changedElsewhere,
                               std::function<void()> lost)
    : connection_(std::move(connection)),
      changedElsewhere_(std::move(changedElsewhere)),
      lost_(std::move(lost)),
      window_(*connection_, XCB_EVENT_MASK_NO_EVENT),
      selection_(connection_->atom(selection)),
      ownerChangeEvent_(watchOwners(*connection_, window_.id(), selection_)),
      transfers_(*connection_),
      wakeup_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      thread_([this] { run(); }) {}

SelectionOwner::~SelectionOwner() {
    stopping_ = true;
    wake();
    thread_.join();
    ::close(wakeup_);
}

bool SelectionOwner::own(std::vector<OfferedTarget> targets) {
    std::future<bool> taken;
    {
        std::lock_guard lock(mutex_);
        // An earlier offer still waiting is dropped: nobody waits for it any more.
        offer_ = Offer{std::move(targets), {}};
        taken = offer_->taken.get_future();
    }
    wake();
    if (taken.wait_for(ownershipLimit) == std::future_status::ready) return taken.get();
    {
        // Withdrawn while the owner's thread has not picked it up, so that it never takes the
        // selection after the caller was told it did not.
        std::lock_guard lock(mutex_);
        if (offer_) {
            offer_.reset();
            return false;
        }
    }
    // Being taken: its outcome stands.
    return taken.get();
}

void SelectionOwner::wake() {
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t written = ::write(wakeup_, &one, sizeof one);
}

void SelectionOwner::run() {
    const int display = xcb_get_file_descriptor(connection_->raw());
    while (!stopping_) {
        serveEvents();
        std::optional<Clock::time_point> due = transfers_.endStalled(Clock::now());
        std::array<pollfd, 2> ready = {{{wakeup_, POLLIN, 0}, {display, POLLIN, 0}}};
        // A broken connection would read as ready for good.
        nfds_t watched = connection_->alive() ? 2 : 1;
        ::poll(ready.data(), watched, millisecondsUntil(due));
        if ((ready[0].revents & POLLIN) == 0) continue;
        std::uint64_t wakes = 0;
        [[maybe_unused]] ssize_t drained = ::read(wakeup_, &wakes, sizeof wakes);
        std::optional<Offer> offer;
        {
            std::lock_guard lock(mutex_);
            offer = std::exchange(offer_, std::nullopt);
        }
        if (offer) take(*offer);
    }
}

void SelectionOwner::serveEvents() {
    while (Reply<xcb_generic_event_t> event{xcb_poll_for_event(connection_->raw())}) {
        std::uint8_t kind = event->response_type & 0x7f;
        if (kind == XCB_SELECTION_REQUEST) {
            answer(as<xcb_selection_request_event_t>(*event));
        } else if (kind == XCB_SELECTION_CLEAR) {
            cleared();
        } else if (kind == XCB_PROPERTY_NOTIFY) {
            const auto& notify = as<xcb_property_notify_event_t>(*event);
            if (notify.state == XCB_PROPERTY_DELETE) {
                transfers_.propertyDeleted(notify.window, notify.atom);
            }
        } else if (kind == XCB_DESTROY_NOTIFY) {
            transfers_.windowDestroyed(as<xcb_destroy_notify_event_t>(*event).window);
        } else if (ownerChangeEvent_ != 0 && kind == ownerChangeEvent_) {
            // Our own takes were counted by the writes that asked for them.
            if (as<xcb_xfixes_selection_notify_event_t>(*event).owner != window_.id()) {
                changedElsewhere_();
            }
        }
    }
}

// Ownership is taken at the server's current time, as xclip and xsel take it: the helper has
// no user event whose time it could name, and a paste the user starts afterwards is later.
void SelectionOwner::take(Offer& offer) {
    served_ = std::move(offer.targets);
    xcb_set_selection_owner(connection_->raw(), window_.id(), selection_, XCB_CURRENT_TIME);
    owns_ = currentOwner() == window_.id();
    if (!owns_) served_.clear();
    // The server sent what happened before it answered; changes made by others until then are
    // counted before the write that asked is.
    serveEvents();
    offer.taken.set_value(owns_);
}

void SelectionOwner::answer(const xcb_selection_request_event_t& request) {
    // Requestors older than the conventions name no property, and mean the target's.
    Atom property = request.property == XCB_ATOM_NONE ? request.target : request.property;
    bool sent = owns_ && request.selection == selection_ &&
                send(request.requestor, request.target, property);
    xcb_selection_notify_event_t reply{};
    reply.response_type = XCB_SELECTION_NOTIFY;
    reply.time = request.time;
    reply.requestor = request.requestor;
    reply.selection = request.selection;
    reply.target = request.target;
    reply.property = sent ? property : Atom{XCB_ATOM_NONE};
    xcb_send_event(connection_->raw(), 0, request.requestor, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&reply));
    xcb_flush(connection_->raw());
}

bool SelectionOwner::send(WindowId requestor, Atom target, Atom property) {
    if (target == connection_->atom("MULTIPLE")) return sendMultiple(requestor, property);
    if (target == connection_->atom("TARGETS")) {
        std::vector<Atom> targets = {target, connection_->atom("MULTIPLE")};
        for (const OfferedTarget& offered : served_) {
            targets.push_back(connection_->atom(offered.target));
        }
        return transfers_.sendAtoms(requestor, property, targets);
    }
    for (const OfferedTarget& offered : served_) {
        if (connection_->atom(offered.target) != target) continue;
        return transfers_.send(requestor, property, connection_->atom(offered.type),
                               sentBytes(offered));
    }
    return false;
}

// Clipboard managers ask for everything they save at once this way.
bool SelectionOwner::sendMultiple(WindowId requestor, Atom property) {
    xcb_connection_t* raw = connection_->raw();
    const Atom pairType = connection_->atom("ATOM_PAIR");
    Reply<xcb_get_property_reply_t> listed(xcb_get_property_reply(
        raw, xcb_get_property(raw, 0, requestor, property, pairType, 0, 1 << 16), nullptr));
    if (!listed || listed->type != pairType || listed->format != 32) return false;
    std::vector<Atom> pairs(static_cast<std::size_t>(xcb_get_property_value_length(listed.get())) /
                            sizeof(Atom));
    std::memcpy(pairs.data(), xcb_get_property_value(listed.get()), pairs.size() * sizeof(Atom));
    for (std::size_t index = 0; index + 1 < pairs.size(); index += 2) {
        const Atom target = pairs[index];
        bool sent = target != connection_->atom("MULTIPLE") && pairs[index + 1] != XCB_ATOM_NONE &&
                    send(requestor, target, pairs[index + 1]);
        if (!sent) pairs[index + 1] = XCB_ATOM_NONE;
    }
    xcb_change_property(raw, XCB_PROP_MODE_REPLACE, requestor, property, pairType, 32,
                        static_cast<std::uint32_t>(pairs.size()), pairs.data());
    return true;
}

// A clear can be older than our latest take, which made no new one; the server says who owns
// the selection now. Transfers already running go on with the bytes they hold.
void SelectionOwner::cleared() {
    if (!owns_ || currentOwner() == window_.id()) return;
    owns_ = false;
    served_.clear();
    if (lost_) lost_();
}

WindowId SelectionOwner::currentOwner() {
    xcb_connection_t* raw = connection_->raw();
    Reply<xcb_get_selection_owner_reply_t> reply(
        xcb_get_selection_owner_reply(raw, xcb_get_selection_owner(raw, selection_), nullptr));
    return reply ? reply->owner : XCB_NONE;
}

}  // namespace lumora::x11
