#include "platform/x11/key_poster.h"

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <array>

#include "platform/x11/key_requests.h"

namespace lumora::x11 {

namespace {

using platform::InputEventType;
namespace flags = platform::eventFlags;

constexpr std::array<platform::EventFlags, 4> postedModifiers = {flags::command, flags::control,
                                                                 flags::option, flags::shift};

bool isKeyEvent(InputEventType type) {
    return type == InputEventType::keyDown || type == InputEventType::keyUp ||
           type == InputEventType::flagsChanged;
}

}  // namespace

KeyPoster::KeyPoster(std::shared_ptr<X11Connection> display, KeyEventThread& events,
                     PostedKeys& posted)
    : display_(std::move(display)), events_(events), posted_(posted) {
    const xcb_query_extension_reply_t* xtest =
        xcb_get_extension_data(display_->raw(), &xcb_test_id);
    hasXtest_ = xtest != nullptr && xtest->present;
}

bool KeyPoster::post(const platform::InputEvent& event) {
    std::shared_ptr<const KeyLayout> layout = events_.layout();
    if (!hasXtest_ || !isKeyEvent(event.type) || !layout) return false;
    std::optional<XKey> key = layout->key(event.keyCode);
    std::optional<XKeys> down = keysDown(display_->raw());
    if (!key || !down) return false;
    // A flags change says by its flags whether the modifier key is now down or up; other events
    // need the modifiers their flags name around them.
    if (event.type == InputEventType::flagsChanged) {
        send(*key, (event.flags & layout->flagsOf(*key)) != 0, event.userData);
        xcb_flush(display_->raw());
        return true;
    }
    const platform::EventFlags held = layout->flags(*down);
    std::array<XKey, postedModifiers.size()> pressed{};
    std::size_t count = 0;
    for (platform::EventFlags flag : postedModifiers) {
        if ((event.flags & flag) == 0 || (held & flag) != 0) continue;
        if (std::optional<XKey> modifier = layout->modifierKey(flag)) pressed[count++] = *modifier;
    }
    for (std::size_t index = 0; index < count; ++index) send(pressed[index], true, event.userData);
    // The server drops a press of a key it has down already, such as the user's own press that a
    // tap withheld and now posts while the key is still held: the key goes up first.
    if (event.type == InputEventType::keyDown && down->test(*key)) {
        send(*key, false, event.userData);
    }
    send(*key, event.type != InputEventType::keyUp, event.userData);
    for (std::size_t index = count; index > 0; --index) {
        send(pressed[index - 1], false, event.userData);
    }
    xcb_flush(display_->raw());
    return true;
}

void KeyPoster::send(XKey key, bool press, std::int64_t userData) {
    posted_.record(key, press, userData);
    xcb_test_fake_input(display_->raw(), press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, key,
                        XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
}

}  // namespace lumora::x11
