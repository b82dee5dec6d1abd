#include "platform/x11/key_event_thread.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <array>
#include <utility>

#include "platform/x11/key_codes.h"
#include "platform/x11/key_requests.h"
#include "platform/x11/key_xcb_xkb.h"

namespace lumora::x11 {

namespace {

using platform::InputEventType;
using Clock = std::chrono::steady_clock;

// How long the keyboard may stay frozen on a press the taps have not settled. The main thread
// answers in well under a millisecond; a main thread stuck for this long must not take the
// user's keyboard with it.
constexpr auto verdictLimit = std::chrono::milliseconds(500);

// Caps Lock and Num Lock change nothing about a key's meaning, so the grab covers every
// combination of them.
constexpr std::array<std::uint16_t, 4> lockModifiers = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                                        XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};

constexpr std::uint32_t leftButton = 1, rightButton = 3;
constexpr std::uint32_t firstWheelButton = 4, lastWheelButton = 7;

// Whether server time `time` is no later than `since`; server time wraps after 49 days.
bool atOrBefore(std::uint32_t time, std::uint32_t since) {
    return static_cast<std::int32_t>(since - time) >= 0;
}

InputEventType buttonType(std::uint32_t button) {
    if (button == leftButton) return InputEventType::leftMouseDown;
    if (button == rightButton) return InputEventType::rightMouseDown;
    if (button >= firstWheelButton && button <= lastWheelButton) {
        return InputEventType::scrollWheel;
    }
    return InputEventType::otherMouseDown;
}

}  // namespace

KeyEventThread::KeyEventThread(KeyInputQueue& queue, PostedKeys& posted)
    : queue_(queue), posted_(posted) {
    int screenNumber = 0;
    connection_ = xcb_connect(nullptr, &screenNumber);
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0 || !listen(screenNumber)) return;
    running_ = true;
    thread_ = std::thread([this] { run(); });
}

KeyEventThread::~KeyEventThread() {
    stopping_ = true;
    wake();
    if (thread_.joinable()) thread_.join();
    xcb_disconnect(connection_);
    if (wakeFd_ >= 0) close(wakeFd_);
}

bool KeyEventThread::listen(int screenNumber) {
    if (xcb_connection_has_error(connection_)) return false;
    xcb_screen_iterator_t screen = xcb_setup_roots_iterator(xcb_get_setup(connection_));
    for (int index = 0; index < screenNumber && screen.rem > 1; ++index) xcb_screen_next(&screen);
    root_ = screen.data->root;
    std::optional<std::uint8_t> keymapEvents = listenToKeymaps(connection_);
    std::optional<std::uint8_t> inputOpcode = listenToRawInput(connection_, root_);
    current_ = keymapEvents ? KeyLayout::read(connection_) : nullptr;
    std::optional<XKeys> down = keysDown(connection_);
    if (!inputOpcode || !current_ || !down) return false;
    keymapEvents_ = *keymapEvents;
    inputOpcode_ = *inputOpcode;
    published_ = current_;
    down_ = *down;
    group_ = layoutGroup(connection_);
    xtestKeyboard_ = xtestKeyboard(connection_);
    return true;
}

std::shared_ptr<const KeyLayout> KeyEventThread::layout() const {
    std::lock_guard lock(layoutMutex_);
    return published_;
}

bool KeyEventThread::grab(XKey key) {
    // A connection that has gone answers every check with no error.
    if (!running_) return false;
    std::array<xcb_void_cookie_t, lockModifiers.size()> grabs{};
    for (std::size_t index = 0; index < lockModifiers.size(); ++index) {
        grabs[index] = xcb_grab_key_checked(connection_, 0, root_, lockModifiers[index], key,
                                            XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_SYNC);
    }
    bool granted = true;
    for (xcb_void_cookie_t cookie : grabs) {
        Reply<xcb_generic_error_t> refused(xcb_request_check(connection_, cookie));
        granted = granted && !refused;
    }
    // Waiting for the answers may have read input meant for the thread.
    wake();
    if (!granted) ungrab(key);
    return granted;
}

void KeyEventThread::ungrab(XKey key) {
    for (std::uint16_t modifiers : lockModifiers) {
        xcb_ungrab_key(connection_, key, root_, modifiers);
    }
    xcb_allow_events(connection_, XCB_ALLOW_REPLAY_KEYBOARD, XCB_CURRENT_TIME);
    xcb_flush(connection_);
    wake();
}

void KeyEventThread::settle(std::uint32_t time, bool deliver) {
    // The server ignores a verdict older than the grab in force, so a verdict on a press that
    // never froze the keyboard cannot settle a later one.
    if (deliver) {
        xcb_allow_events(connection_, XCB_ALLOW_REPLAY_KEYBOARD, time);
    } else {
        xcb_ungrab_keyboard(connection_, time);
    }
    xcb_flush(connection_);
    settled_ = time;
    wake();
}

void KeyEventThread::wake() {
    const std::uint64_t one = 1;
    // A counter too full to take one more is awake already.
    [[maybe_unused]] ssize_t written = write(wakeFd_, &one, sizeof one);
}

void KeyEventThread::run() {
    std::array<pollfd, 2> watched = {pollfd{xcb_get_file_descriptor(connection_), POLLIN, 0},
                                     pollfd{wakeFd_, POLLIN, 0}};
    while (!stopping_) {
        while (Reply<xcb_generic_event_t> event{xcb_poll_for_event(connection_)}) handle(*event);
        if (xcb_connection_has_error(connection_)) {
            running_ = false;
            notify(InputEventType::tapDisabledByUserInput);
            return;
        }
        deliverOverdue();
        int timeout = -1;
        if (withheld_) {
            auto left =
                std::chrono::ceil<std::chrono::milliseconds>(withheld_->deadline - Clock::now());
            timeout = static_cast<int>(std::max<std::int64_t>(left.count(), 0));
        }
        poll(watched.data(), watched.size(), timeout);
        std::uint64_t wakes = 0;
        // Non-blocking: nothing to read means nobody woke the thread.
        [[maybe_unused]] ssize_t got = read(wakeFd_, &wakes, sizeof wakes);
    }
}

void KeyEventThread::handle(const xcb_generic_event_t& event) {
    const std::uint8_t type = event.response_type & 0x7F;
    if (type == XCB_KEY_PRESS) {
        const auto& press = reinterpret_cast<const xcb_key_press_event_t&>(event);
        grabbedPress(press.detail, press.time);
    } else if (type == keymapEvents_) {
        // Every XKB event says which kind it is in its second byte.
        keyboardChanged(reinterpret_cast<const xcb_xkb_state_notify_event_t&>(event).xkbType,
                        event);
    } else if (type == XCB_GE_GENERIC) {
        const auto& generic = reinterpret_cast<const xcb_ge_generic_event_t&>(event);
        if (generic.extension != inputOpcode_) return;
        const auto& raw = reinterpret_cast<const xcb_input_raw_key_press_event_t&>(event);
        if (generic.event_type == XCB_INPUT_RAW_KEY_PRESS ||
            generic.event_type == XCB_INPUT_RAW_KEY_RELEASE) {
            rawKey(static_cast<XKey>(raw.detail), generic.event_type == XCB_INPUT_RAW_KEY_PRESS,
                   raw.time, raw.sourceid);
        } else if (generic.event_type == XCB_INPUT_RAW_BUTTON_PRESS) {
            rawButton(raw.detail);
        }
    }
}

void KeyEventThread::rawKey(XKey key, bool press, std::uint32_t time, std::uint16_t source) {
    down_[key] = press;
    if (press) lastRawPress_ = {key, time};
    std::optional<std::int64_t> userData;
    if (source == xtestKeyboard_) userData = posted_.match(key, press);
    report(key, press, time, false, userData.value_or(0));
}

void KeyEventThread::rawButton(std::uint32_t button) {
    KeyInput input;
    input.event.type = buttonType(button);
    input.event.flags = current_->flags(down_);
    // Raw events carry no position; the pointer has not gone far since.
    input.event.location = pointerLocation(connection_, root_).value_or(platform::Point{});
    queue_.push(input);
}

void KeyEventThread::grabbedPress(XKey key, std::uint32_t time) {
    withheld_ = Withheld{time, Clock::now() + verdictLimit};
    if (lastRawPress_ == Press{key, time}) return;  // its raw event reported it
    // The server's automatic repeats of a held key come without a raw event.
    report(key, true, time, down_[key], 0);
}

void KeyEventThread::keyboardChanged(std::uint8_t change, const xcb_generic_event_t& event) {
    if (change == XCB_XKB_STATE_NOTIFY) {
        group_ = reinterpret_cast<const xcb_xkb_state_notify_event_t&>(event).group;
        return;
    }
    if (change != XCB_XKB_NEW_KEYBOARD_NOTIFY && change != XCB_XKB_MAP_NOTIFY) return;
    std::shared_ptr<const KeyLayout> fresh = KeyLayout::read(connection_);
    if (!fresh) return;
    current_ = fresh;
    std::lock_guard lock(layoutMutex_);
    published_ = std::move(fresh);
}

void KeyEventThread::report(XKey key, bool press, std::uint32_t time, bool autorepeat,
                            std::int64_t userData) {
    std::optional<std::uint16_t> code = current_->keyCode(key);
    if (!code) return;
    KeyInput input;
    input.event.type = isModifierKeyCode(*code) ? InputEventType::flagsChanged
                       : press                  ? InputEventType::keyDown
                                                : InputEventType::keyUp;
    input.event.keyCode = *code;
    input.event.flags = current_->flags(down_);
    input.event.autorepeat = autorepeat;
    input.event.userData = userData;
    input.press = press;
    input.key = key;
    input.time = time;
    queue_.push(input);
}

void KeyEventThread::notify(InputEventType notice) {
    KeyInput input;
    input.event.type = notice;
    queue_.push(input);
}

void KeyEventThread::deliverOverdue() {
    if (!withheld_ || Clock::now() < withheld_->deadline) return;
    const std::uint32_t time = std::exchange(withheld_, std::nullopt)->time;
    if (atOrBefore(time, settled_)) return;
    xcb_allow_events(connection_, XCB_ALLOW_REPLAY_KEYBOARD, time);
    xcb_flush(connection_);
    // A tap that swallowed it now would keep it to post again later: a second press.
    queue_.passedOn(time);
    notify(InputEventType::tapDisabledByTimeout);
}

}  // namespace lumora::x11
