// The hold monitor on the simulated desktop in virtual time. The user's input goes through the
// real event tap; one log records, in order, what the app was told, what the frontmost
// application received and what the monitor posted itself.
#include "assistant/hold/hold_shortcuts.h"

#include <gtest/gtest.h>

#include "tests/support/sim_ports.h"
#include "tests/support/virtual_time.h"

namespace lumora {
namespace {

using platform::InputEvent;
using Type = platform::InputEventType;
namespace flags = platform::eventFlags;
using Log = std::vector<std::string>;

// Lumora's floating widget at the bottom right, Notes in front.
constexpr const char* scenario = R"({"parentPid": 100, "frontmost": 200,
    "apps": [{"pid": 100, "name": "Lumora"}, {"pid": 200, "name": "Notes"}],
    "windows": [{"number": 7, "ownerPid": 100, "layer": 1000,
                 "bounds": {"x": 1000, "y": 700, "width": 200, "height": 60}}]})";

constexpr std::uint16_t fn = 63, leftOption = 58, escape = 53, keyA = 0;
constexpr platform::EventFlags left = flags::option | flags::leftOptionDevice;
constexpr platform::EventFlags right = flags::option | flags::rightOptionDevice;

InputEvent key(Type type, std::uint16_t code, platform::EventFlags eventFlags = 0,
               std::int64_t userData = 0) {
    return {type, code, eventFlags, false, userData, {}};
}
InputEvent click(double x, double y) {
    return {Type::leftMouseDown, 0, 0, false, 0, {x, y}};
}

std::string describe(const InputEvent& event) {
    std::string text = std::to_string(static_cast<std::uint32_t>(event.type)) + ":" +
                       std::to_string(event.keyCode);
    return event.userData == syntheticEventMarker ? text + " marked" : text;
}

// The desktop and the monitor on it.
struct Desk {
    Desk() {
        HoldOperations operations;
        operations.sendEvent = [this](const json::Document& event) {
            log.push_back(event.at("phase").get<std::string>() + " " +
                          event.value("mode", event.value("message", std::string())));
        };
        operations.postEvent = [this](const InputEvent& event) {
            log.push_back("post " + describe(event));
        };
        monitor = std::make_unique<HoldShortcuts>(time.loop, sim.ports, std::move(operations));
    }
    void bind(const std::map<std::string, std::string>& bindings) {
        monitor->configure(bindings);
        monitor->install();
    }
    // The user's input at `at` seconds after the start.
    void input(double at, const InputEvent& event) {
        time.advance(at - (time.loop.now() - start));
        if (auto received = sim.desktop->deliverInput(event)) log.push_back(describe(*received));
    }

    test_support::VirtualTime time;
    const double start = time.loop.now();
    test_support::SimPorts sim{scenario};
    Log log;
    std::unique_ptr<HoldShortcuts> monitor;
};

struct HoldCase {
    std::string name;
    std::string boundKey;
    std::vector<std::pair<double, InputEvent>> steps;
    Log log;
};

// Event types in the log: 10 key down, 11 key up, 12 flags changed, 1 left click.
TEST(HoldShortcutsTest, TurnsHoldsIntoEventsAndLeavesTapsToTheApplication) {
    const InputEvent fnDown = key(Type::flagsChanged, fn, flags::function);
    const InputEvent fnUp = key(Type::flagsChanged, fn);
    const std::vector<HoldCase> cases = {
        {"a 0.3 s tap of Fn", "Hold:Fn", {{0, fnDown}, {0.3, fnUp}}, {"12:63", "12:63"}},
        {"a 0.4 s hold of Fn",
         "Hold:Fn",
         {{0, fnDown}, {0.4, fnUp}},
         {"12:63", "hold_pressed m", "hold_released m", "12:63"}},
        {"Fn while Shift is down",
         "Hold:Fn",
         {{0, key(Type::flagsChanged, fn, flags::function | flags::shift)}, {0.5, fnUp}},
         {"12:63", "12:63"}},
        {"Fn while another key is down",
         "Hold:Fn",
         {{0, key(Type::keyDown, keyA)}, {0.1, fnDown}, {0.6, fnUp}},
         {"10:0", "12:63", "12:63"}},
        {"another key during an active hold; the release then says nothing",
         "Hold:LeftOption",
         {{0, key(Type::flagsChanged, leftOption, left)},
          {0.5, key(Type::keyDown, keyA, left)},
          {0.8, key(Type::flagsChanged, leftOption)}},
         {"12:58", "hold_pressed m", "hold_cancel m", "10:0", "12:58"}},
        {"Left Option released into flags keeping only the right side",
         "Hold:LeftOption",
         {{0, key(Type::flagsChanged, leftOption, left)},
          {0.5, key(Type::flagsChanged, leftOption, right)}},
         {"12:58", "hold_pressed m", "hold_released m", "12:58"}},
        {"an Escape tap is replayed once, marked",
         "Hold:Escape",
         {{0, key(Type::keyDown, escape)}, {0.1, key(Type::keyUp, escape)}},
         {"post 10:53 marked", "post 11:53 marked"}},
        {"a long Escape hold reaches nothing",
         "Hold:Escape",
         {{0, key(Type::keyDown, escape)},
          {0.2, key(Type::keyDown, escape)},
          {0.6, key(Type::keyUp, escape)}},
         {"hold_pressed m", "hold_released m"}},
        {"a key during a pending Escape delivers the Escape first",
         "Hold:Escape",
         {{0, key(Type::keyDown, escape)},
          {0.1, key(Type::keyDown, keyA)},
          {0.2, key(Type::keyUp, escape)}},
         {"post 10:53 marked", "10:0", "11:53"}},
        {"an auto-repeated Escape never starts a hold",
         "Hold:Escape",
         {{0, {Type::keyDown, escape, 0, true, 0, {}}}, {0.5, key(Type::keyUp, escape)}},
         {"10:53", "11:53"}},
        {"a click on the app's widget keeps the hold",
         "Hold:Fn",
         {{0, fnDown}, {0.5, click(1050, 720)}, {0.7, fnUp}},
         {"12:63", "hold_pressed m", "1:0", "hold_released m", "12:63"}},
        {"a click elsewhere cancels it",
         "Hold:Fn",
         {{0, fnDown}, {0.5, click(500, 400)}, {0.7, fnUp}},
         {"12:63", "hold_pressed m", "hold_cancel m", "1:0", "12:63"}},
        {"a tap the system disables cancels the hold",
         "Hold:Fn",
         {{0, fnDown},
          {0.5, key(Type::tapDisabledByUserInput, 0)},
          {0.7, fnUp},
          {1, fnDown},
          {1.5, fnUp}},
         {"12:63", "hold_pressed m", "hold_cancel m", "12:63", "12:63", "hold_pressed m",
          "hold_released m", "12:63"}},
    };
    for (const HoldCase& c : cases) {
        Desk desk;
        desk.bind({{"m", c.boundKey}});
        desk.log.clear();
        for (const auto& [at, event] : c.steps) desk.input(at, event);
        desk.time.advance(1.0);
        EXPECT_EQ(desk.log, c.log) << c.name;
    }
}

TEST(HoldShortcutsTest, BindingsSuspensionAndARefusedTap) {
    Desk desk;
    desk.bind({});
    desk.sim.desktop->setAccessibilityTrusted(false);
    desk.bind({{"m", "Hold:Fn"}});
    desk.sim.desktop->setAccessibilityTrusted(true);
    desk.monitor->install();
    desk.input(0, key(Type::flagsChanged, fn, flags::function));
    desk.time.advance(0.5);
    desk.bind({{"m", "Hold:Fn"}});  // the same bindings keep the hold
    desk.input(0.6, key(Type::flagsChanged, fn));
    desk.input(1.0, key(Type::flagsChanged, fn, flags::function));
    desk.time.advance(0.5);
    desk.bind({{"n", "Hold:Fn"}});  // new ones end it
    desk.input(1.6, key(Type::flagsChanged, fn));
    desk.monitor->suspend(true);
    desk.input(2.0, key(Type::flagsChanged, fn, flags::function));
    desk.input(3.0, key(Type::flagsChanged, fn));
    EXPECT_EQ(desk.log,
              (Log{"hold_status Allow Accessibility for Lumora to use hold keys, then "
                   "select the shortcut again.",
                   "hold_status ", "12:63", "hold_pressed m", "hold_released m", "12:63", "12:63",
                   "hold_pressed m", "hold_cancel m", "12:63", "12:63", "12:63"}));
}

}  // namespace
}  // namespace lumora
