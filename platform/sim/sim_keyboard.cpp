#include "platform/sim/sim_keyboard.h"

#include <unicode/ustring.h>

#include "platform/sim/sim_pasteboard.h"

namespace lumora::sim {

namespace {

using platform::InputEvent;
using platform::InputEventType;
namespace flags = platform::eventFlags;

constexpr platform::EventFlags shortcutModifiers =
    flags::shift | flags::control | flags::option | flags::command;

std::u16string utf16(const std::string& utf8) {
    // UTF-16 never needs more units than UTF-8 needs bytes.
    std::u16string result(utf8.size(), u'\0');
    std::int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8(result.data(), static_cast<std::int32_t>(result.size()), &length, utf8.data(),
                  static_cast<std::int32_t>(utf8.size()), &status);
    result.resize(U_SUCCESS(status) ? static_cast<std::size_t>(length) : 0);
    return result;
}

bool isPasteShortcut(const KeyboardState& keyboard, const InputEvent& event) {
    if (event.type != InputEventType::keyDown ||
        (event.flags & shortcutModifiers) != flags::command) {
        return false;
    }
    // Without Unicode layout data the keys still type what their ANSI positions say.
    const KeyLayout& layout = keyboard.layout ? *keyboard.layout : ansiUsLayout();
    auto found = layout.find(event.keyCode);
    return found != layout.end() && found->second == "v";
}

// What the frontmost application does with a key event that reaches it. Only the paste
// shortcut changes anything: the pasteboard's text replaces the focused field's selection as
// typed text would, whatever quirks the field's accessibility implementation has.
void receive(World& world, const InputEvent& event) {
    if (!isPasteShortcut(world.keyboard, event)) return;
    App* app = world.frontmostApp();
    if (!app || !app->focusedElement) return;
    Element* field = world.element(*app->focusedElement);
    auto text = pastedText(world.pasteboard);
    if (field && text && field->accepts(selectedTextAttribute))
        replaceSelection(*field, *text, false);
}

bool isTapNotice(InputEventType type) {
    return type == InputEventType::tapDisabledByTimeout ||
           type == InputEventType::tapDisabledByUserInput;
}

bool tapReceives(const EventTapState& tap, InputEventType type) {
    auto bit = static_cast<std::uint32_t>(type);
    return tap.enabled && bit < 64 && (tap.mask & (std::uint64_t{1} << bit)) != 0;
}

void updateKeyState(KeyboardState& keyboard, const InputEvent& event) {
    switch (event.type) {
        case InputEventType::keyDown:
            keyboard.pressedKeys.insert(event.keyCode);
            break;
        case InputEventType::keyUp:
            keyboard.pressedKeys.erase(event.keyCode);
            break;
        case InputEventType::flagsChanged:
            keyboard.sessionFlags = event.flags;
            break;
        default:
            break;
    }
}

class SimEventTap final : public platform::EventTap {
  public:
    SimEventTap(std::shared_ptr<World> world, int id) : world_(std::move(world)), id_(id) {}
    ~SimEventTap() override {
        std::lock_guard lock(world_->mutex);
        world_->keyboard.taps.erase(id_);
    }
    void setEnabled(bool enabled) override {
        std::lock_guard lock(world_->mutex);
        world_->keyboard.taps.at(id_).enabled = enabled;
    }
    // The simulated tap sees every event before applications, so any key may be swallowed.
    bool withhold(const std::vector<std::uint16_t>&) override { return true; }

  private:
    std::shared_ptr<World> world_;
    int id_;
};

class MonitorToken {
  public:
    MonitorToken(std::shared_ptr<World> world, int id) : world_(std::move(world)), id_(id) {}
    MonitorToken(const MonitorToken&) = delete;
    MonitorToken& operator=(const MonitorToken&) = delete;
    ~MonitorToken() {
        std::lock_guard lock(world_->mutex);
        world_->keyboard.monitors.erase(id_);
    }

  private:
    std::shared_ptr<World> world_;
    int id_;
};

}  // namespace

platform::EventFlags SimKeyboard::sessionFlags() {
    std::lock_guard lock(world_->mutex);
    return world_->keyboard.sessionFlags;
}

bool SimKeyboard::isKeyDown(std::uint16_t keyCode) {
    std::lock_guard lock(world_->mutex);
    return world_->keyboard.pressedKeys.contains(keyCode);
}

std::optional<InputEvent> SimKeyboard::createKeyEvent(std::uint16_t keyCode, bool keyDown) {
    std::lock_guard lock(world_->mutex);
    if (world_->keyboard.keyEventsFail) return std::nullopt;
    InputEvent event;
    event.type = keyDown ? InputEventType::keyDown : InputEventType::keyUp;
    event.keyCode = keyCode;
    return event;
}

void SimKeyboard::post(const InputEvent& event) {
    std::lock_guard lock(world_->mutex);
    world_->keyboard.posted.push_back(event);
    // Synthetic input reaches other applications only from a trusted process.
    if (world_->permissions.accessibility) receive(*world_, event);
}

bool SimKeyboard::hasLayoutData() {
    std::lock_guard lock(world_->mutex);
    return world_->keyboard.layout.has_value();
}

std::optional<std::u16string> SimKeyboard::translate(std::uint16_t keyCode) {
    std::lock_guard lock(world_->mutex);
    const auto& layout = world_->keyboard.layout;
    if (!layout) return std::nullopt;
    // Keys that type nothing (modifiers, function keys) translate to no units.
    auto found = layout->find(keyCode);
    return found == layout->end() ? std::u16string() : utf16(found->second);
}

std::shared_ptr<void> SimKeyboard::addGlobalKeyDownMonitor(
    std::function<void(std::uint16_t keyCode)> handler) {
    std::lock_guard lock(world_->mutex);
    int id = world_->keyboard.nextId++;
    world_->keyboard.monitors[id] = std::make_shared<KeyMonitor>(std::move(handler));
    return std::make_shared<MonitorToken>(world_, id);
}

std::unique_ptr<platform::EventTap> SimKeyboard::createEventTap(std::uint64_t mask,
                                                                platform::EventTapHandler handler) {
    std::lock_guard lock(world_->mutex);
    auto& keyboard = world_->keyboard;
    if (keyboard.eventTapsRefused || !world_->permissions.accessibility) return nullptr;
    int id = keyboard.nextId++;
    keyboard.taps[id] = {mask, true,
                         std::make_shared<platform::EventTapHandler>(std::move(handler))};
    return std::make_unique<SimEventTap>(world_, id);
}

std::optional<InputEvent> SimKeyboard::deliver(const InputEvent& event) {
    std::vector<std::shared_ptr<platform::EventTapHandler>> taps;
    {
        std::lock_guard lock(world_->mutex);
        auto& keyboard = world_->keyboard;
        updateKeyState(keyboard, event);
        // A tap installed later sits nearer the head and sees events first. A notice that the
        // system disabled the taps goes to every tap, which is disabled by then.
        for (auto tap = keyboard.taps.rbegin(); tap != keyboard.taps.rend(); ++tap) {
            if (isTapNotice(event.type)) tap->second.enabled = false;
            if (isTapNotice(event.type) || tapReceives(tap->second, event.type)) {
                taps.push_back(tap->second.handler);
            }
        }
    }
    std::optional<InputEvent> current = event;
    for (const auto& tap : taps) {
        current = (*tap)(*current);
        if (!current) return std::nullopt;
    }
    if (isTapNotice(event.type)) return std::nullopt;

    std::vector<std::shared_ptr<KeyMonitor>> monitors;
    {
        std::lock_guard lock(world_->mutex);
        receive(*world_, *current);
        if (current->type == InputEventType::keyDown) {
            for (const auto& [id, monitor] : world_->keyboard.monitors) monitors.push_back(monitor);
        }
    }
    for (const auto& monitor : monitors) (*monitor)(current->keyCode);
    return current;
}

}  // namespace lumora::sim
