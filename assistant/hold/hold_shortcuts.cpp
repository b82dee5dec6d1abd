#include "assistant/hold/hold_shortcuts.h"

#include <algorithm>
#include <utility>

#include "assistant/hold/hold_keys.h"
#include "assistant/host/event_output.h"

namespace lumora {

namespace {

using platform::InputEvent;
using platform::InputEventType;
namespace flags = platform::eventFlags;

constexpr std::string_view tapRefused =
    "Allow Accessibility for Lumora to use hold keys, then select the shortcut again.";
constexpr std::string_view claimRefused =
    "Another application holds the chosen hold key, so Lumora cannot use it. Close that "
    "application or choose another hold key.";
constexpr std::string_view unreportedKey =
    "This keyboard does not report the chosen hold key, so holding it cannot start Lumora. "
    "Choose another hold key.";
constexpr std::string_view escapeKey = "Hold:Escape";
constexpr std::string_view fnKey = "Hold:Fn";
constexpr int widgetLayer = 1000;

constexpr std::uint64_t bit(InputEventType type) {
    return std::uint64_t{1} << static_cast<std::uint32_t>(type);
}

constexpr std::uint64_t tapMask =
    bit(InputEventType::keyDown) | bit(InputEventType::keyUp) | bit(InputEventType::flagsChanged) |
    bit(InputEventType::leftMouseDown) | bit(InputEventType::rightMouseDown) |
    bit(InputEventType::otherMouseDown);

bool isKeyEvent(InputEventType type) {
    return type == InputEventType::keyDown || type == InputEventType::keyUp ||
           type == InputEventType::flagsChanged;
}

bool isMouseDown(InputEventType type) {
    return type == InputEventType::leftMouseDown || type == InputEventType::rightMouseDown ||
           type == InputEventType::otherMouseDown;
}

// Other modifiers held with the hold key mean a shortcut of its own, not a hold.
platform::EventFlags otherModifiers(std::string_view key) {
    constexpr platform::EventFlags standard =
        flags::shift | flags::control | flags::option | flags::command;
    if (key == fnKey) return standard;
    if (key == escapeKey) return standard | flags::function;
    return flags::shift | flags::control | flags::command | flags::function;
}

bool contains(const platform::Rect& rect, platform::Point point) {
    return point.x >= rect.x && point.x < rect.x + rect.width && point.y >= rect.y &&
           point.y < rect.y + rect.height;
}

}  // namespace

HoldShortcuts::HoldShortcuts(EventLoop& loop, platform::Ports& ports, HoldOperations operations)
    : loop_(loop), ports_(ports), operations_(std::move(operations)), timer_(loop) {
    if (!operations_.sendEvent) operations_.sendEvent = [](const json::Document& e) { emit(e); };
    if (!operations_.postEvent) {
        operations_.postEvent = [&keyboard = ports.keyboard](const InputEvent& event) {
            keyboard.post(event);
        };
    }
    if (!operations_.allowsWidgetInteraction) {
        operations_.allowsWidgetInteraction = [this](const InputEvent& event) {
            return isWidgetClick(event);
        };
    }
}

void HoldShortcuts::configure(const std::map<std::string, std::string>& bindings) {
    if (bindings == bindings_) return;
    interrupt();
    candidate_.reset();
    const std::string_view status = keyStatus();
    bindings_ = bindings;
    if (!tap_) return;
    // A claim the desktop refuses loses the tap; the install that follows says so and tries
    // again.
    if (!tap_->withhold(withheldKeys())) {
        tap_.reset();
        return;
    }
    if (keyStatus() != status) {
        operations_.sendEvent({{"phase", "hold_status"}, {"message", keyStatus()}});
    }
}

void HoldShortcuts::install() {
    if (tap_ || bindings_.empty()) return;
    tap_ = ports_.keyboard.createEventTap(
        tapMask, [this](const InputEvent& event) { return handle(event); });
    if (!tap_) {
        operations_.sendEvent({{"phase", "hold_status"}, {"message", tapRefused}});
        return;
    }
    if (!tap_->withhold(withheldKeys())) {
        tap_.reset();
        operations_.sendEvent({{"phase", "hold_status"}, {"message", claimRefused}});
        return;
    }
    tap_->setEnabled(true);
    operations_.sendEvent({{"phase", "hold_status"}, {"message", keyStatus()}});
}

std::vector<std::uint16_t> HoldShortcuts::withheldKeys() const {
    if (!bindsEscape()) return {};
    return {*holdKeyCode(escapeKey)};
}

std::string_view HoldShortcuts::keyStatus() const {
    for (const auto& [mode, key] : bindings_) {
        std::optional<std::uint16_t> code = holdKeyCode(key);
        if (code && !ports_.keyboard.canReport(*code)) return unreportedKey;
    }
    return "";
}

void HoldShortcuts::suspend(bool suspended) {
    interrupt();
    candidate_.reset();
    forgetPressedKeys();
    suspended_ = suspended;
}

void HoldShortcuts::interrupt() {
    timer_.stop();
    if (trigger_.interrupt() && candidate_) {
        report("hold_cancel", *candidate_);
        escapeDown_.reset();
    }
    // The hold never began, so the user's Escape belongs to the application after all.
    if (escapeDown_) postMarked(*std::exchange(escapeDown_, std::nullopt));
}

bool HoldShortcuts::reservesEscape() const {
    return !suspended_ && bindsEscape();
}

bool HoldShortcuts::bindsEscape() const {
    return std::any_of(bindings_.begin(), bindings_.end(),
                       [](const auto& binding) { return binding.second == escapeKey; });
}

std::optional<InputEvent> HoldShortcuts::handle(const InputEvent& event) {
    if (event.type == InputEventType::tapDisabledByTimeout ||
        event.type == InputEventType::tapDisabledByUserInput) {
        interrupt();
        candidate_.reset();
        forgetPressedKeys();
        if (tap_) tap_->setEnabled(true);
        return event;
    }
    if (event.type == InputEventType::scrollWheel || suspended_ ||
        event.userData == syntheticEventMarker) {
        return event;
    }
    if (event.type == InputEventType::keyDown && !pressedKeys_.test(event.keyCode)) {
        pressedKeys_.set(event.keyCode);
        ++pressedCount_;
    } else if (event.type == InputEventType::keyUp && pressedKeys_.test(event.keyCode)) {
        pressedKeys_.reset(event.keyCode);
        --pressedCount_;
    }
    std::optional<std::string_view> match =
        isKeyEvent(event.type) ? boundKey(event.keyCode) : std::nullopt;

    if (!candidate_) {
        if (!match || event.type == InputEventType::keyUp) return event;
        if ((event.flags & otherModifiers(*match)) != 0) return event;
        const bool onlyThisKey =
            pressedCount_ == 0 || (pressedCount_ == 1 && pressedKeys_.test(event.keyCode));
        if (!onlyThisKey || event.autorepeat) return event;
        if (event.type == InputEventType::flagsChanged &&
            !modifierDown(event.keyCode, event.flags)) {
            return event;
        }
        const bool escape = *match == escapeKey;
        startHold(std::string(*match), event);
        if (escape) return std::nullopt;
        return event;
    }

    if (match && *match == *candidate_) {
        const bool stillDown =
            event.type == InputEventType::keyDown || (event.type == InputEventType::flagsChanged &&
                                                      modifierDown(event.keyCode, event.flags));
        if (!stillDown) return endHold(event);
        if (*candidate_ == escapeKey && escapeDown_) return std::nullopt;
        return event;
    }

    if (isMouseDown(event.type) && operations_.allowsWidgetInteraction(event)) return event;
    interrupt();
    return event;
}

void HoldShortcuts::startHold(std::string key, const InputEvent& event) {
    trigger_.press(loop_.now());
    if (key == escapeKey) escapeDown_ = event;
    candidate_ = std::move(key);
    timer_.start(HoldTrigger::activationDelay, [this, key = *candidate_] { activate(key); });
}

std::optional<InputEvent> HoldShortcuts::endHold(const InputEvent& release) {
    timer_.stop();
    const HoldTrigger::Release result = trigger_.release();
    const std::string key = *std::exchange(candidate_, std::nullopt);
    // Settled before the report, so whatever the report sets off finds no Escape held back.
    const std::optional<InputEvent> keptDown = std::exchange(escapeDown_, std::nullopt);
    if (result == HoldTrigger::Release::stop) report("hold_released", key);
    if (key != escapeKey || !keptDown) return release;
    if (result == HoldTrigger::Release::tap) {
        postMarked(*keptDown);
        postMarked(release);
    }
    return std::nullopt;
}

void HoldShortcuts::activate(const std::string& key) {
    if (candidate_ != key) return;
    if (trigger_.activate(loop_.now())) report("hold_pressed", key);
}

void HoldShortcuts::report(std::string_view phase, const std::string& key) {
    auto binding = std::find_if(bindings_.begin(), bindings_.end(),
                                [&](const auto& entry) { return entry.second == key; });
    if (binding == bindings_.end()) return;
    operations_.sendEvent({{"phase", phase}, {"mode", binding->first}, {"key", key}});
}

void HoldShortcuts::postMarked(InputEvent event) {
    event.userData = syntheticEventMarker;
    operations_.postEvent(event);
}

std::optional<std::string_view> HoldShortcuts::boundKey(std::uint16_t keyCode) const {
    for (const auto& [mode, key] : bindings_) {
        if (holdKeyCode(key) == keyCode) return key;
    }
    return std::nullopt;
}

bool HoldShortcuts::isWidgetClick(const InputEvent& event) const {
    for (const platform::WindowInfo& window : ports_.windows.onScreenWindows()) {
        if (!window.bounds || !contains(*window.bounds, event.location) || window.alpha == 0) {
            continue;
        }
        return window.ownerPid == ports_.workspace.parentProcessId() && window.layer == widgetLayer;
    }
    return false;
}

void HoldShortcuts::forgetPressedKeys() {
    pressedKeys_.reset();
    pressedCount_ = 0;
}

}  // namespace lumora
