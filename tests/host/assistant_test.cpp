// The controller on the simulated desktop in virtual time, events captured in memory.
#include "assistant/host/assistant.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "assistant/host/event_output.h"
#include "tests/support/sim_ports.h"
#include "tests/support/virtual_time.h"

namespace lumora {
namespace {

using nlohmann::json;

constexpr const char* scenario = R"({
    "parentPid": 100,
    "apps": [{"pid": 100, "name": "Lumora"}, {"pid": 200, "name": "Notes"}],
    "frontmost": 200,
    "keyboard": {"eventTapsRefused": true},
    "languageModel": {"replies": [{"match": "poem", "text": "0|Roses", "chunkSize": 2}]}
})";

class AssistantTest : public testing::Test {
  protected:
    AssistantTest() : sim(scenario), desktop(sim.desktop.get()) {
        setEventDestination([this](std::string_view line) { events.push_back(json::parse(line)); });
        assistant = std::make_unique<Assistant>(time.loop, time.executor, time.executor, sim.ports);
    }
    ~AssistantTest() override {
        assistant.reset();
        resetEventDestination();
    }

    void send(const json& command) {
        RequestDecoder decoder;
        auto request = decoder.decode(command.dump());
        ASSERT_TRUE(request);
        assistant->handle(*request);
        time.settle();
    }

    void pressEscape() {
        platform::InputEvent escape;
        escape.type = platform::InputEventType::keyDown;
        escape.keyCode = 53;
        desktop->deliverInput(escape);
        time.settle();
    }

    test_support::VirtualTime time;
    test_support::SimPorts sim;
    sim::SimDesktop* desktop;
    std::unique_ptr<Assistant> assistant;
    std::vector<json> events;
};

TEST_F(AssistantTest, EscapeCancelsAnOpenedSessionOnceAndIsSilentWhenIdle) {
    assistant->installEscape();
    pressEscape();
    EXPECT_TRUE(events.empty());

    send({{"command", "open"}, {"id", 3}});
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]["source"], "Notes");
    pressEscape();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1]["phase"], "canceled");
    EXPECT_EQ(events[1]["message"], "Canceled");
    EXPECT_EQ(events[1]["id"], 3);
    EXPECT_EQ(events[1]["source"], "");
    EXPECT_EQ(events[1]["context"], "");
    pressEscape();
    EXPECT_EQ(events.size(), 2u);
}

// Here the system refuses the hold monitor its tap, so Escape reaches the helper's own monitor.
TEST_F(AssistantTest, EscapeIsLeftToTheHoldMonitorWhenItIsAHoldKey) {
    assistant->installEscape();
    send({{"command", "hold_configure"},
          {"id", 1},
          {"holdBindings", {{"assistant", "Hold:Escape"}}}});
    send({{"command", "open"}, {"id", 2}});
    pressEscape();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0]["phase"], "hold_status");
    EXPECT_EQ(events[1]["phase"], "result");
}

TEST_F(AssistantTest, CancelWithRestoreReactivatesTheSourceWhenLumoraIsInFront) {
    send({{"command", "open"}, {"id", 1}});
    desktop->setFrontmost(100);
    send({{"command", "cancel"}, {"id", 2}, {"restore", true}});
    EXPECT_EQ(desktop->activatedApplications(), (std::vector<pid_t>{200}));
    EXPECT_EQ(events.back()["phase"], "idle");
    EXPECT_EQ(events.back()["id"], 2);
}

}  // namespace
}  // namespace lumora
