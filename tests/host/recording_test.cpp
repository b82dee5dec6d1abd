// Spoken requests in virtual time: the microphone hears the scenario as the clock moves, the
// recogniser answers as the scenario says, and every path ends in one event with nothing left
// running.
#include <memory>

#include "tests/host/controller_fixture.h"
#include "tests/support/virtual_microphone.h"

namespace lumora::controller_testing {
namespace {

json result(const std::string& text, bool final, std::optional<double> afterAudio = {}) {
    json entry = {{"text", text}, {"final", final}};
    if (afterAudio) entry["afterAudio"] = *afterAudio;
    return entry;
}

platform::InputEvent keyEvent(platform::InputEventType type, std::uint16_t code,
                              platform::EventFlags flags = 0) {
    platform::InputEvent event;
    event.type = type;
    event.keyCode = code;
    event.flags = flags;
    return event;
}

json dictation(std::uint64_t id, json extra = json::object()) {
    json command = {{"command", "start"}, {"id", id}, {"mode", "dictation"}, {"key", "Hold:Fn"}};
    if (extra.is_object()) command.update(extra);
    return command;
}

class RecordingTest : public ControllerTest {
  protected:
    // Notes in front; the recogniser reports `results`; `changes` patch the world.
    void speak(const std::vector<json>& results, const json& changes = json::object()) {
        json world = notesWorld({classifierSays("none"), modelSays("0|Thanks, Ada!")});
        world["speech"]["results"] = results;
        if (changes.is_object()) world.merge_patch(changes);
        microphone.reset();
        load(world);
        microphone = std::make_unique<test_support::VirtualMicrophone>(time.loop, *sim->desktop);
    }

    // The session's last event, and whether anything still runs after a long wait.
    json settledLast(std::uint64_t id) {
        advance(200);
        EXPECT_FALSE(sim->desktop->microphoneRunning());
        return phasesOf(id).back();
    }

    std::unique_ptr<test_support::VirtualMicrophone> microphone;
};

TEST_F(RecordingTest, ADictationShowsPartialsWhileHeldAndTypesTheTranscriptOnceReleased) {
    speak({result("Thanks for", false, 0.3), result("Thanks for the notes", true)});
    send(dictation(3));
    advance(1);
    EXPECT_TRUE(sim->desktop->microphoneRunning());
    send({{"command", "stop"}, {"id", 3}});
    advance(2);
    EXPECT_EQ(phasesOf(3), (std::vector<json>{{"processing", "Starting microphone…"},
                                              {"recording", "Listening… Release to transcribe."},
                                              {"recording", "Listening… Release to transcribe."},
                                              {"processing", "Transcribing on this Mac…"},
                                              {"transcript", ""},
                                              {"processing", "Inserting text…"},
                                              {"result", "Text inserted"}}));
    EXPECT_EQ(events[2]["text"], "Thanks for");
    EXPECT_EQ(field("body"), "Dear Ada, Thanks for the notes");
    EXPECT_FALSE(sim->desktop->microphoneRunning());
    EXPECT_EQ(copiedResult(3), "Thanks for the notes");
}

// Every way a recording fails: the one error it ends with, and nothing left running.
TEST_F(RecordingTest, FailuresEndInTheirOneError) {
    // Each row: what the world changes, what "start" adds, what the recogniser says, the error.
    const json cases = json::parse(R"([
      [{"permissions": {"microphone": 2}}, {}, [],
       "Enable Microphone in Lumora’s Permissions section, then hold the shortcut again."],
      [{"permissions": {"speechRecognition": 1}}, {}, [],
       "Enable Speech Recognition in Lumora’s Permissions section, then hold the shortcut again."],
      [{"permissions": {"accessibility": false}}, {}, [],
       "Enable Accessibility for Lumora to insert text into your app."],
      [{"permissions": {"accessibility": false}}, {"mode": "assistant", "output": "copy"}, [],
       "Enable Accessibility for Lumora to insert text into your app."],
      [{}, {"language": "xx-XX"}, [], "On-device speech recognition is unavailable for this language. Check macOS speech language assets."],
      [{"system": {"osVersion": "15.4"}}, {"mode": "assistant"}, [], "Assistant requires macOS 26 or later."],
      [{"languageModel": {"available": false}}, {"mode": "assistant"}, [], "Apple Intelligence is unavailable: unavailable"],
      [{"audio": {"sampleRate": 0}}, {}, [], "No microphone input is available."],
      [{"audio": {"startError": {"domain": "d", "code": 1, "description": "Device busy."}}}, {}, [],
       "Could not start microphone: Device busy."],
      [{"audio": {"sampleRate": 5e6}}, {"transcriptionEngine": "whisper"}, [], "Could not prepare the microphone for Whisper."],
      [{"speech": {"error": "Audio lost"}}, {}, [], "Transcription failed: Audio lost"],
      [{}, {}, [{"text": " \n ", "final": true}], "No speech detected. Hold the shortcut and try again."],
      [{}, {}, [{"text": "Thanks"}], "Transcription did not finish. Try a shorter recording."]
    ])");
    for (const json& c : cases) {
        SCOPED_TRACE(c[3]);
        events.clear();
        speak(c[2].get<std::vector<json>>(), c[0]);
        send(dictation(4, c[1]));
        advance(0.5);
        send({{"command", "stop"}, {"id", 4}});
        EXPECT_EQ(settledLast(4), (json{"error", c[3]}));
        EXPECT_EQ(std::count_if(events.begin(), events.end(),
                                [](const json& e) { return e["phase"] == "error"; }),
                  1);
    }
}

// The three limits, each checked just before and just after it.
TEST_F(RecordingTest, RecordingAndTranscriptionHaveTheirLimits) {
    struct Case {
        json start;
        bool stop;
        double limit;
        std::string message;
    };
    const std::string unfinished = "Transcription did not finish. ";
    const std::vector<Case> cases = {
        {{}, false, 90, "Recording reached 90 seconds. Release and try a shorter recording."},
        {{}, true, 12, unfinished + "Try a shorter recording."},
        {{{"transcriptionEngine", "whisper"}},
         true,
         120,
         unfinished + "Your preview is available to copy."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        events.clear();
        speak({result("Thanks", false)});
        send(dictation(5, c.start));
        advance(0.5);
        if (c.stop) send({{"command", "stop"}, {"id", 5}});
        advance(c.limit - (c.stop ? 0.1 : 0.6));
        EXPECT_NE(phasesOf(5).back()[0], "error");
        advance(0.2);
        EXPECT_EQ(phasesOf(5).back(), (json{"error", c.message}));
        EXPECT_FALSE(sim->desktop->microphoneRunning());
    }
}

// The release poll: a key with a code ends the recording within a tick of going up; a key the
// hold monitor watches, or no key at all, is left to "stop".
TEST_F(RecordingTest, TheReleasePollEndsOnlyWhatItCanSee) {
    struct Case {
        json start;
        bool endsOnRelease;
    };
    const std::vector<Case> cases = {
        {{{"key", "KeyR"}}, true},
        {{{"key", "KeyR"}, {"modifiers", "shift"}}, true},
        {{{"key", "Hold:Fn"}}, false},
        {{{"key", nullptr}}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start.dump());
        events.clear();
        speak({result("Thanks", true)});
        const platform::EventFlags shift = 0x20000;
        sim->desktop->deliverInput(keyEvent(platform::InputEventType::flagsChanged, 56, shift));
        sim->desktop->deliverInput(keyEvent(platform::InputEventType::keyDown, 15, shift));
        send(dictation(6, c.start));
        advance(1);
        EXPECT_EQ(phasesOf(6).back()[0], "recording");
        sim->desktop->deliverInput(keyEvent(platform::InputEventType::keyUp, 15, shift));
        advance(0.04);
        EXPECT_EQ(sim->desktop->microphoneRunning(), !c.endsOnRelease);
    }
}

TEST_F(RecordingTest, WhisperCommandsCountOnlyInTheirPhase) {
    speak({});
    auto whisper = [&](const char* command, const char* text) {
        send({{"command", command}, {"id", 7}, {"text", text}});
    };
    send(dictation(7, {{"transcriptionEngine", "whisper"}}));
    advance(1);
    whisper("whisper_result", "too early");
    whisper("whisper_partial", "Thanks");
    send({{"command", "stop"}, {"id", 7}});
    whisper("whisper_partial", "too late");
    whisper("whisper_result", " Thanks, Ada ");
    advance(1);
    EXPECT_EQ(phasesOf(7), (std::vector<json>{{"processing", "Starting microphone…"},
                                              {"recording", "Listening… Release to transcribe."},
                                              {"recording", "Listening… Release to transcribe."},
                                              {"processing", "Transcribing on this Mac…"},
                                              {"whisper_cancel", nullptr},
                                              {"transcript", ""},
                                              {"processing", "Inserting text…"},
                                              {"result", "Text inserted"}}));
    EXPECT_EQ(events[3]["text"], "Thanks");
    EXPECT_EQ(field("body"), "Dear Ada, Thanks, Ada");
}

// Once the app is told a Whisper recording is gone, no more of its audio arrives, even when
// it was already being sent after the release.
TEST_F(RecordingTest, NothingOfAWhisperRecordingFollowsItsCancel) {
    speak({});
    send(dictation(17, {{"transcriptionEngine", "whisper"}}));
    advance(3);
    send({{"command", "stop"}, {"id", 17}});
    send({{"command", "cancel"}, {"id", 17}});
    auto cancelled = std::find(allPhases.begin(), allPhases.end(), "whisper_cancel");
    ASSERT_NE(cancelled, allPhases.end());
    EXPECT_EQ(std::vector<std::string>(cancelled, allPhases.end()),
              (std::vector<std::string>{"whisper_cancel", "idle"}));
}

// A result of a recording the session replaced under the same id changes nothing.
TEST_F(RecordingTest, ALateResultOfAReplacedRecordingIsIgnored) {
    speak({result("Old words", true, 0.3)});
    send(dictation(16));
    advance(0.1);
    send({{"command", "stop"}, {"id", 16}});
    send(dictation(16, {{"transcriptionEngine", "whisper"}}));
    advance(1);
    for (const json& event : events) EXPECT_NE(event["text"], "Old words") << event;
}

TEST_F(RecordingTest, AWhisperErrorLeavesThePreviewToCopy) {
    speak({});
    send(dictation(8, {{"transcriptionEngine", "whisper"}}));
    send({{"command", "whisper_partial"}, {"id", 8}, {"text", "Thanks for"}});
    send({{"command", "stop"}, {"id", 8}});
    send({{"command", "whisper_error"}, {"id", 8}});
    EXPECT_EQ(phasesOf(8).back(), (json{"error", "Whisper transcription failed."}));
    EXPECT_EQ(events.back()["text"], "Thanks for");
    EXPECT_EQ(copiedResult(8), "Thanks for");
}

// A spoken request is answered with the window captured while the user spoke.
TEST_F(RecordingTest, ASpokenRequestIsAnsweredWithTheWindowPreparedWhileSpeaking) {
    speak({result("Thank Ada", true, 0.2)});
    send(dictation(10, {{"mode", "assistant"}}));
    advance(0.5);
    send({{"command", "stop"}, {"id", 10}});
    advance(5);
    std::vector<json> phases = phasesOf(10);
    EXPECT_EQ(phases[1], (json{"recording", "Listening to your request… Release to ask."}));
    EXPECT_NE(std::find(phases.begin(), phases.end(),
                        json{"capturing_screen", "Preparing visual context…"}),
              phases.end());
    EXPECT_EQ(phases.back(), (json{"result", "Text inserted"}));
    EXPECT_EQ(field("body"), "Dear Ada, Thanks, Ada!");
    ASSERT_EQ(answerCalls().size(), 1u);
    EXPECT_NE(answerCalls()[0].prompt.find("Thank Ada"), std::string::npos);
}

// What replaces a recording stops it at once; what belongs to another session changes nothing.
TEST_F(RecordingTest, ARecordingEndsWhenReplacedOrCanceledAndIgnoresOtherSessions) {
    struct Case {
        json command;
        std::vector<std::string> phases;
    };
    const std::vector<Case> cases = {
        {{{"command", "stop"}, {"id", 1}}, {}},
        {{{"command", "whisper_error"}, {"id", 1}}, {}},
        {{{"command", "cancel"}, {"id", 11}}, {"whisper_cancel", "idle"}},
        {{{"command", "open"}, {"id", 12}}, {"whisper_cancel", "result"}},
        {{{"command", "ask"}, {"id", 12}, {"text", "Hi"}}, {"whisper_cancel", "capturing_screen"}},
        {{{"command", "ask"}, {"id", 12}, {"text", " \n "}}, {"whisper_cancel", "error"}},
        {dictation(12), {"whisper_cancel", "processing", "recording"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command.dump());
        speak({});
        send(dictation(11, {{"transcriptionEngine", "whisper"}}));
        advance(0.2);
        events.clear();
        send(c.command);
        std::vector<std::string> phases;
        for (const json& event : events) phases.push_back(event["phase"]);
        EXPECT_EQ(phases, c.phases);
        EXPECT_EQ(sim->desktop->microphoneRunning(),
                  c.phases.empty() || c.phases.back() == "recording");
    }
}

TEST_F(RecordingTest, EscapeCancelsARecording) {
    speak({});
    assistant->installEscape();
    send(dictation(13));
    sim->desktop->deliverInput(keyEvent(platform::InputEventType::keyDown, 53));
    settle();
    EXPECT_EQ(phasesOf(13).back(), (json{"canceled", "Canceled"}));
    EXPECT_FALSE(sim->desktop->microphoneRunning());
}

TEST_F(RecordingTest, DictationMarksTheAssistantRecordItReplaces) {
    useAuditDirectory();
    speak({});
    send({{"command", "ask"}, {"id", 14}, {"text", "Thank Ada"}});
    send(dictation(15));
    settle();
    EXPECT_EQ(auditRecord()["events"].back(), (json{{"phase", "interrupted"},
                                                    {"at", auditRecord()["events"].back()["at"]},
                                                    {"message", "Replaced by dictation"}}));
}

}  // namespace
}  // namespace lumora::controller_testing
