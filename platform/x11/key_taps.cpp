#include "platform/x11/key_taps.h"

#include <iterator>

namespace lumora::x11 {

namespace {

using platform::InputEvent;
using platform::InputEventType;

bool isTapNotice(InputEventType type) {
    return type == InputEventType::tapDisabledByTimeout ||
           type == InputEventType::tapDisabledByUserInput;
}

bool receives(std::uint64_t mask, InputEventType type) {
    const auto bit = static_cast<std::uint32_t>(type);
    return bit < 64 && (mask & (std::uint64_t{1} << bit)) != 0;
}

// Visits the entries newest first while `visit` returns true. An entry the visit removes, itself
// or another, is simply not visited: each step looks up the next older id afresh.
template <class Entries, class Visit>
void newestFirst(Entries& entries, Visit visit) {
    for (auto entry = entries.rbegin(); entry != entries.rend();) {
        const int id = entry->first;
        if (!visit(entry->second)) return;
        entry = std::make_reverse_iterator(entries.lower_bound(id));
    }
}

}  // namespace

class X11EventTap final : public platform::EventTap {
  public:
    X11EventTap(KeyTaps& taps, int id) : taps_(taps), id_(id) {}
    ~X11EventTap() override { taps_.removeTap(id_); }
    void setEnabled(bool enabled) override { taps_.setEnabled(id_, enabled); }
    bool withhold(const std::vector<std::uint16_t>& keyCodes) override {
        return taps_.claim(id_, keyCodes);
    }

  private:
    KeyTaps& taps_;
    const int id_;
};

class KeyMonitorToken {
  public:
    KeyMonitorToken(KeyTaps& taps, int id) : taps_(taps), id_(id) {}
    KeyMonitorToken(const KeyMonitorToken&) = delete;
    KeyMonitorToken& operator=(const KeyMonitorToken&) = delete;
    ~KeyMonitorToken() { taps_.removeMonitor(id_); }

  private:
    KeyTaps& taps_;
    const int id_;
};

KeyTaps::~KeyTaps() {
    for (std::size_t key = 0; key < grabbed_.size(); ++key) {
        if (grabbed_.test(key)) events_.ungrab(static_cast<XKey>(key));
    }
}

std::unique_ptr<platform::EventTap> KeyTaps::addTap(std::uint64_t mask,
                                                    platform::EventTapHandler handler) {
    if (!events_.running()) return nullptr;
    const int id = nextId_++;
    taps_[id] = {mask, true, std::make_shared<platform::EventTapHandler>(std::move(handler)), {}};
    updateListening();
    return std::make_unique<X11EventTap>(*this, id);
}

std::shared_ptr<void> KeyTaps::addMonitor(std::function<void(std::uint16_t keyCode)> handler) {
    const int id = nextId_++;
    monitors_[id] = std::make_shared<Monitor>(std::move(handler));
    updateListening();
    return std::make_shared<KeyMonitorToken>(*this, id);
}

void KeyTaps::removeTap(int id) {
    taps_.erase(id);
    // Fewer claims only ever release grabs, which cannot be refused.
    grabClaims();
    updateListening();
}

void KeyTaps::setEnabled(int id, bool enabled) {
    taps_.at(id).enabled = enabled;
}

bool KeyTaps::claim(int id, const std::vector<std::uint16_t>& keyCodes) {
    Tap& tap = taps_.at(id);
    const XKeys previous = tap.claimed;
    tap.claimed.reset();
    std::shared_ptr<const KeyLayout> layout = events_.layout();
    for (std::uint16_t code : keyCodes) {
        // A key this keyboard does not have is never pressed, so nothing needs holding back.
        std::optional<XKey> key = layout ? layout->key(code) : std::nullopt;
        if (key) tap.claimed.set(*key);
    }
    if (grabClaims()) return true;
    tap.claimed = previous;
    return false;
}

void KeyTaps::removeMonitor(int id) {
    monitors_.erase(id);
    updateListening();
}

bool KeyTaps::grabClaims() {
    XKeys wanted;
    for (const auto& [id, tap] : taps_) wanted |= tap.claimed;
    XKeys added;
    for (std::size_t key = 0; key < wanted.size(); ++key) {
        if (!wanted.test(key) || grabbed_.test(key)) continue;
        if (!events_.grab(static_cast<XKey>(key))) {
            for (std::size_t undone = 0; undone < key; ++undone) {
                if (added.test(undone)) events_.ungrab(static_cast<XKey>(undone));
            }
            return false;
        }
        added.set(key);
    }
    for (std::size_t key = 0; key < grabbed_.size(); ++key) {
        if (grabbed_.test(key) && !wanted.test(key)) events_.ungrab(static_cast<XKey>(key));
    }
    grabbed_ = wanted;
    return true;
}

void KeyTaps::updateListening() {
    queue_.listen(!taps_.empty() || !monitors_.empty());
}

void KeyTaps::drain() {
    while (std::optional<KeyInput> input = queue_.take()) deliver(*input);
}

void KeyTaps::deliver(const KeyInput& input) {
    if (isTapNotice(input.event.type)) {
        disableAll(input.event);
        return;
    }
    std::optional<InputEvent> current = input.event;
    // A press the server has already handed on is past the taps' judgement; the timeout notice
    // behind it tells them they were disabled. Monitors still hear it: it reached the
    // application.
    if (!input.passedOn) {
        newestFirst(taps_, [&](Tap& tap) {
            if (tap.enabled && receives(tap.mask, current->type)) {
                std::shared_ptr<platform::EventTapHandler> handler = tap.handler;
                current = (*handler)(*current);
            }
            return current.has_value();
        });
    }
    // The event reaching the application is the one the server withholds: a tap's changes to
    // it cannot travel with it.
    if (input.press && !input.passedOn && grabbed_.test(input.key)) {
        events_.settle(input.time, current.has_value());
    }
    if (!current || current->type != InputEventType::keyDown) return;
    newestFirst(monitors_, [&](const std::shared_ptr<Monitor>& entry) {
        std::shared_ptr<Monitor> monitor = entry;
        (*monitor)(current->keyCode);
        return true;
    });
}

void KeyTaps::disableAll(const InputEvent& notice) {
    newestFirst(taps_, [&](Tap& tap) {
        tap.enabled = false;
        std::shared_ptr<platform::EventTapHandler> handler = tap.handler;
        (*handler)(notice);
        return true;
    });
}

}  // namespace lumora::x11
