#include "platform/x11/x11_keyboard.h"

#include "platform/x11/key_requests.h"

namespace lumora::x11 {

X11Keyboard::X11Keyboard(std::shared_ptr<X11Connection> display, EventLoop& mainLoop,
                         WindowPaste& paste)
    : display_(std::move(display)),
      queue_(mainLoop, [this] { taps_.drain(); }),
      events_(queue_, posted_),
      taps_(queue_, events_),
      poster_(display_, events_, posted_),
      paste_(paste) {}

std::shared_ptr<const KeyLayout> X11Keyboard::liveLayout() const {
    return display_->alive() ? events_.layout() : nullptr;
}

platform::EventFlags X11Keyboard::sessionFlags() {
    std::shared_ptr<const KeyLayout> layout = liveLayout();
    std::optional<XKeys> down = keysDown(display_->raw());
    return layout && down ? layout->flags(*down) : 0;
}

bool X11Keyboard::isKeyDown(std::uint16_t keyCode) {
    std::shared_ptr<const KeyLayout> layout = liveLayout();
    std::optional<XKey> key = layout ? layout->key(keyCode) : std::nullopt;
    std::optional<XKeys> down = key ? keysDown(display_->raw()) : std::nullopt;
    return down && down->test(*key);
}

bool X11Keyboard::canReport(std::uint16_t keyCode) {
    std::shared_ptr<const KeyLayout> layout = events_.layout();
    return layout && layout->key(keyCode);
}

std::optional<platform::InputEvent> X11Keyboard::createKeyEvent(std::uint16_t keyCode,
                                                                bool keyDown) {
    std::shared_ptr<const KeyLayout> layout = liveLayout();
    if (!layout || !layout->key(keyCode)) return std::nullopt;
    platform::InputEvent event;
    event.type = keyDown ? platform::InputEventType::keyDown : platform::InputEventType::keyUp;
    event.keyCode = keyCode;
    return event;
}

void X11Keyboard::post(const platform::InputEvent& event) {
    // The port's post answers nothing; an event this keyboard cannot type is dropped, as the
    // system drops one it cannot deliver.
    poster_.post(paste_.adapt(event, translate(event.keyCode) == u"v"));
}

bool X11Keyboard::hasLayoutData() {
    return liveLayout() != nullptr;
}

std::optional<std::u16string> X11Keyboard::translate(std::uint16_t keyCode) {
    std::shared_ptr<const KeyLayout> layout = liveLayout();
    return layout ? layout->text(keyCode, events_.group()) : std::nullopt;
}

std::shared_ptr<void> X11Keyboard::addGlobalKeyDownMonitor(
    std::function<void(std::uint16_t keyCode)> handler) {
    return taps_.addMonitor(std::move(handler));
}

std::unique_ptr<platform::EventTap> X11Keyboard::createEventTap(std::uint64_t mask,
                                                                platform::EventTapHandler handler) {
    return taps_.addTap(mask, std::move(handler));
}

}  // namespace lumora::x11
