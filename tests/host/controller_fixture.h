// The controller on the simulated desktop, on one thread in virtual time: Notes in front with
// its body focused, a scripted on-device model, events captured in memory, and an optional
// audit folder.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <thread>

#include "assistant/host/assistant.h"
#include "assistant/host/event_output.h"
#include "tests/support/notes_world.h"
#include "tests/support/sim_ports.h"
#include "tests/support/virtual_time.h"

namespace lumora::controller_testing {

using nlohmann::json;

class ControllerTest : public testing::Test {
  protected:
    ControllerTest() {
        setEventDestination([this](std::string_view line) {
            // The Whisper capture writes from a worker of its own, in real time; the test
            // thread's events stay in the order the controller sent them.
            json event = json::parse(line);
            allPhases.push_back(event["phase"]);
            if (std::this_thread::get_id() != testThread) return;
            events.push_back(std::move(event));
            if (onEvent) onEvent(events.back());
        });
    }
    ~ControllerTest() override {
        assistant.reset();
        resetEventDestination();
    }

    void load(json world) {
        if (auditDirectory) {
            world["system"]["environment"] = {{"LUMORA_AUDIT_DIR", auditDirectory->string()}};
        }
        // A test may load several worlds. Each controller goes before the world it used, the
        // way the program ends: its unfinished tasks destroyed first, then the controller.
        time.settle();
        time.loop.destroyTasks();
        assistant.reset();
        sim = std::make_unique<test_support::SimPorts>(world.dump(), textRecognition);
        assistant = std::make_unique<Assistant>(time.loop, time.executor, time.executor, sim->ports);
    }

    void send(const json& command) {
        RequestDecoder decoder;
        auto request = decoder.decode(command.dump());
        ASSERT_TRUE(request);
        assistant->handle(*request);
    }

    // Opens a session on the frontmost field and asks; returns once the request has its final
    // event and the clipboard restore has run.
    void ask(const std::string& text, std::uint64_t id = 2) {
        send({{"command", "open"}, {"id", id}});
        events.clear();
        send({{"command", "ask"}, {"id", id}, {"text", text}});
        advance(2.0);
        ASSERT_TRUE(finished(id)) << json(events).dump(1);
    }

    // Runs everything that is ready, without moving the clock.
    void settle() { time.settle(); }
    void advance(double seconds) { time.advance(seconds); }

    bool finished(std::uint64_t id) const {
        for (const json& event : events) {
            if (event["id"] != id) continue;
            if (event["phase"] == "error" || event["phase"] == "result") return true;
        }
        return false;
    }

    // What "copy" puts on the clipboard: the session's latest transcript or answer.
    std::string copiedResult(std::uint64_t id) {
        send({{"command", "copy"}, {"id", id}});
        return events.back()["message"] == "Copied." ? events.back()["text"].get<std::string>()
                                                     : std::string();
    }

    std::vector<json> phasesOf(std::uint64_t id) const {
        std::vector<json> found;
        for (const json& event : events) {
            if (event["id"] == id)
                found.push_back({event["phase"], event.value("message", json())});
        }
        return found;
    }

    std::string field(const std::string& id) const { return sim->desktop->field(id)->value; }

    std::vector<sim::ModelCall> answerCalls() const {
        std::vector<sim::ModelCall> calls;
        for (const auto& call : sim->desktop->modelCalls()) {
            if (call.instructions.find(classifierInstructions) == std::string::npos &&
                call.instructions.find(extractionInstructions) == std::string::npos) {
                calls.push_back(call);
            }
        }
        return calls;
    }

    json auditRecord() const {
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(*auditDirectory)) {
            if (entry.path().extension() == ".json") files.push_back(entry.path());
        }
        EXPECT_EQ(files.size(), 1u);
        std::ifstream in(files.at(0));
        return json::parse(in);
    }

    void useAuditDirectory() {
        auditDirectory = std::filesystem::temp_directory_path() /
                         ("lumora-controller-test-" + std::to_string(::getpid()));
        std::filesystem::remove_all(*auditDirectory);
    }

    void TearDown() override {
        if (auditDirectory) std::filesystem::remove_all(*auditDirectory);
    }

    test_support::VirtualTime time;
    std::unique_ptr<test_support::SimPorts> sim;
    std::unique_ptr<Assistant> assistant;
    std::vector<json> events;
    const std::thread::id testThread = std::this_thread::get_id();
    // Every event's phase, whichever thread wrote it, in writing order; guarded by the output
    // lock while a Whisper capture runs.
    std::vector<std::string> allPhases;
    std::function<void(const json&)> onEvent;
    // Stands in for the real OCR engine when set before load().
    platform::TextRecognition* textRecognition = nullptr;
    std::optional<std::filesystem::path> auditDirectory;
};

}  // namespace lumora::controller_testing
