// The hold monitor on the simulated desktop in virtual time: the user's input goes through the
// real event tap, and each case checks what the app was told, what the frontmost application
// received, and what the monitor posted itself.
#include "assistant/hold/hold_shortcuts.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/support/sim_ports.h"
#include "tests/support/virtual_time.h"

namespace lumora {
namespace {

using platform::InputEvent;
using platform::InputEventType;
namespace flags = platform::eventFlags;

// Lumora's floating widget at the bottom right, Notes in front.
constexpr const char* scenario = R"({
    "parentPid": 100,
    "frontmost": 200,
    "apps": [{"pid": 100, "name": "Lumora"}, {"pid": 200, "name": "Notes"}],
    "windows": [
        {"number": 7, "ownerPid": 100, "layer": 1000,
         "bounds": {"x": 1000, "y": 700, "width": 200, "height": 60}},
        {"number": 42, "ownerPid": 200, "layer": 0,
         "bounds": {"x": 0, "y": 0, "width": 1280, "height": 800}}]
})";

constexpr std::uint16_t fn = 63, leftOption = 58, rightOption = 61, escape = 53, keyA = 0;

InputEvent key(InputEventType type, std::uint16_t code, platform::EventFlags eventFlags = 0,
               bool autorepeat = false) {
    InputEvent event;
    event.type = type;
    event.keyCode = code;
    event.flags = eventFlags;
    event.autorepeat = autorepeat;
    return event;
}
InputEvent marked(InputEvent event) {
    event.userData = syntheticEventMarker;
    return event;
}
InputEvent down(std::uint16_t code, platform::EventFlags eventFlags = 0) {
    return key(InputEventType::keyDown, code, eventFlags);
}
InputEvent up(std::uint16_t code) {
    return key(InputEventType::keyUp, code);
}
InputEvent modifiers(std::uint16_t code, platform::EventFlags eventFlags) {
    return key(InputEventType::flagsChanged, code, eventFlags);
}
InputEvent click(double x, double y) {
    InputEvent event;
    event.type = InputEventType::leftMouseDown;
    event.location = {x, y};
    return event;
}

std::string describe(const InputEvent& event) {
    std::string text;
    switch (event.type) {
        case InputEventType::keyDown:
            text = "down " + std::to_string(event.keyCode);
            break;
        case InputEventType::keyUp:
            text = "up " + std::to_string(event.keyCode);
            break;
        case InputEventType::flagsChanged:
            text = "flags " + std::to_string(event.keyCode);
            break;
        default:
            text = "click";
    }
    return event.userData == syntheticEventMarker ? text + " marked" : text;
}

// The desktop, the monitor on it, and what each side saw.
class Desk {
  public:
    Desk() {
        HoldOperations operations;
        operations.sendEvent = [this](const json::Document& event) {
            std::string text = event.at("phase");
            if (event.contains("mode")) text += " " + event.at("mode").get<std::string>();
            if (event.contains("message")) text += " " + event.at("message").get<std::string>();
            reported.push_back(text);
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
        if (auto received = sim.desktop->deliverInput(event)) {
            delivered.push_back(describe(*received));
        }
    }
    std::vector<std::string> posted() const {
        std::vector<std::string> found;
        for (const InputEvent& event : sim.desktop->postedEvents()) {
            found.push_back(describe(event));
        }
        return found;
    }

    test_support::VirtualTime time;
    const double start = time.loop.now();
    test_support::SimPorts sim{scenario};
    std::vector<std::string> reported;
    std::vector<std::string> delivered;
    std::unique_ptr<HoldShortcuts> monitor;
};

struct Step {
    double at;
    InputEvent event;
};

struct HoldCase {
    std::string name;
    std::string boundKey;
    std::vector<Step> steps;
    std::vector<std::string> reported;
    std::vector<std::string> delivered;
    std::vector<std::string> posted = {};
};

TEST(HoldShortcutsTest, TurnsHoldsIntoEventsAndLeavesTapsToTheApplication) {
    const platform::EventFlags left = flags::option | flags::leftOptionDevice;
    const platform::EventFlags right = flags::option | flags::rightOptionDevice;
    const std::vector<HoldCase> cases = {
        {"a 0.3 s tap of Fn",
         "Hold:Fn",
         {{0, modifiers(fn, flags::function)}, {0.3, modifiers(fn, 0)}},
         {},
         {"flags 63", "flags 63"}},
        {"a 0.4 s hold of Fn",
         "Hold:Fn",
         {{0, modifiers(fn, flags::function)}, {0.4, modifiers(fn, 0)}},
         {"hold_pressed mode", "hold_released mode"},
         {"flags 63", "flags 63"}},
        {"Fn while Shift is down",
         "Hold:Fn",
         {{0, modifiers(fn, flags::function | flags::shift)}, {0.5, modifiers(fn, flags::shift)}},
         {},
         {"flags 63", "flags 63"}},
        {"another key during an active Option hold; its release then says nothing",
         "Hold:LeftOption",
         {{0, modifiers(leftOption, left)},
          {0.5, down(keyA, left)},
          {0.6, up(keyA)},
          {0.8, modifiers(leftOption, 0)}},
         {"hold_pressed mode", "hold_cancel mode"},
         {"flags 58", "down 0", "up 0", "flags 58"}},
        {"Left Option released into flags that keep only the right side",
         "Hold:LeftOption",
         {{0, modifiers(leftOption, left)},
          {0.5, modifiers(leftOption, flags::option | flags::rightOptionDevice)}},
         {"hold_pressed mode", "hold_released mode"},
         {"flags 58", "flags 58"}},
        {"an Escape tap is replayed once, marked",
         "Hold:Escape",
         {{0, down(escape)}, {0.1, up(escape)}},
         {},
         {},
         {"down 53 marked", "up 53 marked"}},
        {"a long Escape hold reaches nothing",
         "Hold:Escape",
         {{0, down(escape)}, {0.2, key(InputEventType::keyDown, escape)}, {0.6, up(escape)}},
         {"hold_pressed mode", "hold_released mode"},
         {}},
        {"a key during a pending Escape delivers the Escape first",
         "Hold:Escape",
         {{0, down(escape)}, {0.1, down(keyA)}, {0.2, up(escape)}, {0.5, up(keyA)}},
         {},
         {"down 0", "up 53", "up 0"},
         {"down 53 marked"}},
        {"a click on the app's widget keeps the hold",
         "Hold:Fn",
         {{0, modifiers(fn, flags::function)}, {0.5, click(1050, 720)}, {0.7, modifiers(fn, 0)}},
         {"hold_pressed mode", "hold_released mode"},
         {"flags 63", "click", "flags 63"}},
        {"a click anywhere else cancels it",
         "Hold:Fn",
         {{0, modifiers(fn, flags::function)}, {0.5, click(500, 400)}, {0.7, modifiers(fn, 0)}},
         {"hold_pressed mode", "hold_cancel mode"},
         {"flags 63", "click", "flags 63"}},
        {"an auto-repeated Escape never starts a hold",
         "Hold:Escape",
         {{0, key(InputEventType::keyDown, escape, 0, true)}, {0.5, up(escape)}},
         {},
         {"down 53", "up 53"}},
        {"Fn pressed while another key is down is a shortcut, not a hold",
         "Hold:Fn",
         {{0, down(keyA)}, {0.1, modifiers(fn, flags::function)}, {0.6, modifiers(fn, 0)}},
         {},
         {"down 0", "flags 63", "flags 63"}},
        {"Right Option, with Command down first and then alone",
         "Hold:RightOption",
         {{0, modifiers(rightOption, right | flags::command)},
          {0.1, modifiers(rightOption, 0)},
          {0.2, modifiers(rightOption, right)},
          {0.7, modifiers(rightOption, 0)}},
         {"hold_pressed mode", "hold_released mode"},
         {"flags 61", "flags 61", "flags 61", "flags 61"}},
        {"a tap the system disables during a hold cancels it",
         "Hold:Fn",
         {{0, modifiers(fn, flags::function)},
          {0.5, key(InputEventType::tapDisabledByUserInput, 0)},
          {0.7, modifiers(fn, 0)}},
         {"hold_pressed mode", "hold_cancel mode"},
         {"flags 63", "flags 63"}},
        {"the monitor's own events pass untouched",
         "Hold:Escape",
         {{0, marked(down(escape))}, {0.5, marked(up(escape))}},
         {},
         {"down 53 marked", "up 53 marked"}},
        {"a name the table does not know never matches",
         "Hold:fn",
         {{0, modifiers(fn, flags::function)}, {0.5, modifiers(fn, 0)}},
         {},
         {"flags 63", "flags 63"}},
    };
    for (const HoldCase& c : cases) {
        SCOPED_TRACE(c.name);
        Desk desk;
        desk.bind({{"mode", c.boundKey}});
        ASSERT_EQ(desk.reported, (std::vector<std::string>{"hold_status "}));
        desk.reported.clear();
        for (const Step& step : c.steps) desk.input(step.at, step.event);
        desk.time.advance(1.0);
        EXPECT_EQ(desk.reported, c.reported);
        EXPECT_EQ(desk.delivered, c.delivered);
        EXPECT_EQ(desk.posted(), c.posted);
    }
}

}  // namespace
}  // namespace lumora

namespace lumora {
namespace {

TEST(HoldShortcutsTest, AHoldSurvivesTheSameBindingsButNotNewOnesOrASuspension) {
    Desk desk;
    desk.bind({{"mode", "Hold:Fn"}});
    desk.input(0, modifiers(fn, flags::function));
    desk.time.advance(0.5);
    desk.bind({{"mode", "Hold:Fn"}});
    desk.input(0.6, modifiers(fn, 0));
    EXPECT_EQ(desk.reported, (std::vector<std::string>{"hold_status ", "hold_pressed mode",
                                                       "hold_released mode"}));

    desk.reported.clear();
    desk.input(1.0, modifiers(fn, flags::function));
    desk.time.advance(0.5);
    desk.bind({{"other", "Hold:Fn"}});
    desk.input(1.6, modifiers(fn, 0));
    EXPECT_EQ(desk.reported, (std::vector<std::string>{"hold_pressed mode", "hold_cancel mode"}));

    desk.reported.clear();
    desk.monitor->suspend(true);
    desk.input(2.0, modifiers(fn, flags::function));
    desk.input(3.0, modifiers(fn, 0));
    EXPECT_TRUE(desk.reported.empty());
    desk.monitor->suspend(false);
    desk.input(4.0, modifiers(fn, flags::function));
    desk.input(4.5, modifiers(fn, 0));
    EXPECT_EQ(desk.reported,
              (std::vector<std::string>{"hold_pressed other", "hold_released other"}));
}

TEST(HoldShortcutsTest, ATapTheSystemDisabledIsReenabledAndTheHoldAbandoned) {
    Desk desk;
    desk.bind({{"mode", "Hold:Escape"}});
    desk.input(0, down(escape));
    desk.input(0.1, key(InputEventType::tapDisabledByTimeout, 0));
    // The held-back Escape reaches the application; its release is the user's own again.
    EXPECT_EQ(desk.posted(), (std::vector<std::string>{"down 53 marked"}));
    desk.input(0.2, up(escape));
    EXPECT_EQ(desk.delivered, (std::vector<std::string>{"up 53"}));

    desk.input(1.0, down(escape));
    desk.input(1.5, up(escape));
    EXPECT_EQ(desk.reported, (std::vector<std::string>{"hold_status ", "hold_pressed mode",
                                                       "hold_released mode"}));
}

TEST(HoldShortcutsTest, ARefusedTapIsReportedAndTriedAgainNothingIsInstalledForNoBindings) {
    Desk desk;
    desk.monitor->install();
    desk.bind({});
    EXPECT_TRUE(desk.reported.empty());

    desk.sim.desktop->setAccessibilityTrusted(false);
    desk.bind({{"mode", "Hold:Fn"}});
    desk.sim.desktop->setAccessibilityTrusted(true);
    desk.monitor->install();
    desk.monitor->install();
    desk.input(0, modifiers(fn, flags::function));
    desk.input(0.5, modifiers(fn, 0));
    EXPECT_EQ(desk.reported,
              (std::vector<std::string>{
                  "hold_status Allow Accessibility for Lumora to use hold keys, then select the "
                  "shortcut again.",
                  "hold_status ", "hold_pressed mode", "hold_released mode"}));
}

}  // namespace
}  // namespace lumora
