// Spoken requests to the helper on the real desktop, through pipes: the test plays the Lumora
// app, and the user's voice is a phrase in a synthetic voice played into the test desktop's
// speaker, which the helper's microphone hears. What the helper transcribes is held to what the
// same recogniser makes of the phrase's file directly.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "runtime/base64.h"
#include "tests/e2e/desktop_dialogue.h"
#include "tests/support/spoken_phrase.h"
#include "tests/support/whisper_test_model.h"

namespace lumora {
namespace {

using nlohmann::json;
using test_support::SpokenPhrase;
using test_support::TestDesktop;
using testing::commandLine;
using testing::environmentOn;
using testing::eventsOf;
using testing::rightOptionKey;

constexpr const char* listening = "\"phase\":\"recording\"";
constexpr const char* inserted = "\"message\":\"Text inserted\"";

const SpokenPhrase& phrase() {
    return test_support::testPhrase();
}

std::string helper() {
    return testing::builtProgram("assistant/lumora-assistant");
}

json start(int id, json fields = json::object()) {
    fields["command"] = "start";
    fields["id"] = id;
    return fields;
}

json stop(int id) {
    return {{"command", "stop"}, {"id", id}};
}

// The user says what the file holds, and lets go of the key a moment after the last word, not
// on it: the sound server, and a helper slowed by a sanitizer, still hold the end of the phrase
// when the file has played.
void speak(TestDesktop& desktop, const std::string& path) {
    desktop.play(path);
    std::this_thread::sleep_for(std::chrono::seconds(1));
}

// The user speaks the phrase, then the app sends "stop", as it does when the hold key goes up.
testing::Exchange speakThenStop(TestDesktop& desktop, int id) {
    return {listening, commandLine(stop(id)), 1, [&desktop] { speak(desktop, phrase().path()); }};
}

// All of "We can do it.": what the recogniser makes of the phrase's own file, recorded so that
// a recogniser that got worse on both paths at once is still caught.
constexpr std::size_t offlineWords = 4;

void expectHeardAsWellAsOffline(const std::string& transcript) {
    ASSERT_EQ(phrase().wordsMatched(phrase().offlineTranscript()), offlineWords)
        << phrase().offlineTranscript();
    EXPECT_GE(phrase().wordsMatched(transcript), offlineWords)
        << "heard \"" << transcript << "\", from the file \"" << phrase().offlineTranscript()
        << "\"";
}

// The stretch of audio between its first and last sound, in seconds.
double soundingSeconds(const std::vector<float>& samples, double rate) {
    constexpr float silence = 1e-3f;
    auto loud = [](float sample) { return std::fabs(sample) > silence; };
    auto first = std::find_if(samples.begin(), samples.end(), loud);
    auto last = std::find_if(samples.rbegin(), samples.rend(), loud);
    if (first == samples.end()) return 0;
    return static_cast<double>(std::distance(first, last.base())) / rate;
}

std::vector<float> whisperAudio(const testing::ProcessResult& result) {
    std::vector<float> samples;
    for (const json& event : eventsOf(result, "whisper_audio")) {
        std::optional<std::string> bytes = base64::decode(event["audio"].get<std::string>());
        EXPECT_TRUE(bytes && bytes->size() % sizeof(float) == 0);
        if (!bytes) continue;
        const std::size_t at = samples.size();
        samples.resize(at + bytes->size() / sizeof(float));
        std::memcpy(samples.data() + at, bytes->data(),
                    bytes->size() / sizeof(float) * sizeof(float));
    }
    return samples;
}

struct Dictated {
    testing::ProcessResult result;
    std::string saved;  // the note's text once the dictation is in
};

// After a status report, the user dictates the phrase at the end of a note.
Dictated dictateIntoANote(const std::string& note,
                          const std::map<std::string, std::string>& settings = {}) {
    TestDesktop& desktop = TestDesktop::shared();
    TestDesktop::Editor editor = desktop.openEditor(note);
    desktop.pressKeys(editor, {"ctrl+End"});
    std::map<std::string, std::string> environment = environmentOn(desktop);
    environment.insert(settings.begin(), settings.end());
    Dictated dictated;
    dictated.result = testing::runDialogue(
        helper(),
        commandLine({{"command", "status"}, {"id", 0}}) +
            commandLine(start(1, {{"mode", "dictation"}})),
        {speakThenStop(desktop, 1),
         {inserted, "", 1, [&] { dictated.saved = desktop.savedText(editor); }}},
        environment);
    return dictated;
}

// A dictation spoken into the editor: partial transcripts while the user speaks, the final one
// typed at the caret; the availability report names what works.
TEST(RealDesktopSpeechTest, ADictationIsHeardAndTypedIntoTheEditor) {
    const std::string note = "Notes:";
    auto [result, saved] = dictateIntoANote(note);
    ASSERT_EQ(result.exitStatus, 0) << result.err;

    std::vector<json> availability = eventsOf(result, "availability");
    ASSERT_EQ(availability.size(), 1u) << result.out;
    EXPECT_EQ(availability[0]["microphone"], 3);
    EXPECT_EQ(availability[0]["recognition"], 3);
    EXPECT_EQ(availability[0]["speechLanguages"],
              (json::array({{{"code", "en-US"}, {"name", "English (United States)"}}})));
    EXPECT_EQ(availability[0]["speechRecognizer"], "pocketsphinx (en_US)");

    std::vector<json> transcripts = eventsOf(result, "transcript");
    ASSERT_EQ(transcripts.size(), 1u) << result.out;
    const std::string transcript = transcripts[0]["text"];
    expectHeardAsWellAsOffline(transcript);
    EXPECT_EQ(saved, note + transcript);
    std::vector<json> previews = eventsOf(result, "recording");
    EXPECT_TRUE(std::any_of(previews.begin(), previews.end(), [](const json& event) {
        return event["text"] != "";
    })) << result.out;
}

// A person's voice, not a synthetic one: the one recording whisper.cpp's release carries (a
// famous inaugural sentence), dictated through the microphone. Until the final result came from
// the whole utterance decoded at once, pocketsphinx heard its first seconds through the model's
// prior cepstral mean and made nonsense of them ("and i got my arm acrobat").
TEST(RealDesktopSpeechTest, ARecordedVoiceIsHeardAsWellAsItsFile) {
    const auto recording =
        SpokenPhrase::recorded(LUMORA_SPEECH_RECORDING,
                               "And so my fellow Americans, ask not what your country can do "
                               "for you, ask what you can do for your country.");
    TestDesktop& desktop = TestDesktop::shared();
    TestDesktop::Editor editor = desktop.openEditor("");
    auto result = testing::runDialogue(
        helper(), commandLine(start(1, {{"mode", "dictation"}})),
        {{listening, commandLine(stop(1)), 1, [&] { speak(desktop, recording->path()); }},
         {inserted, ""}},
        environmentOn(desktop));
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    std::vector<json> transcripts = eventsOf(result, "transcript");
    ASSERT_EQ(transcripts.size(), 1u) << result.out;
    const std::string transcript = transcripts[0]["text"];
    const std::size_t offline = recording->wordsMatched(recording->offlineTranscript());
    EXPECT_GE(offline, 15u) << recording->offlineTranscript();
    // Within a tenth of the file's own figure, with two words' grace: one word of 22 is more
    // than a tenth, and the sound server's round trip through 48 kHz moves pocketsphinx by a
    // word or two from one run to the next. The live pass alone heard a third of the words.
    EXPECT_GE(10 * (recording->wordsMatched(transcript) + 2), 9 * offline)
        << "heard \"" << transcript << "\", from the file \"" << recording->offlineTranscript()
        << "\"";
}

// With a Whisper model installed, whisper.cpp takes the dictation: here one of the tiny shape
// with random weights, whose words are nonsense but reach the editor the same way.
TEST(RealDesktopSpeechTest, AnInstalledWhisperModelTakesTheDictation) {
    auto [result, saved] = dictateIntoANote(
        "Notes:", {{"LUMORA_WHISPER_MODEL", test_support::tinyWhisperTestModel().path}});
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    std::vector<json> availability = eventsOf(result, "availability");
    ASSERT_EQ(availability.size(), 1u) << result.out;
    EXPECT_EQ(
        availability[0]["speechRecognizer"],
        "whisper.cpp (tiny, English, f16: " + test_support::tinyWhisperTestModel().path + ")");
    EXPECT_EQ(availability[0]["recognition"], 3);
    EXPECT_EQ(availability[0]["speechLanguages"],
              (json::array({{{"code", "en-GB"}, {"name", "English (United Kingdom)"}},
                            {{"code", "en-US"}, {"name", "English (United States)"}}})));
    std::vector<json> transcripts = eventsOf(result, "transcript");
    ASSERT_EQ(transcripts.size(), 1u) << result.out;
    EXPECT_NE(transcripts[0]["text"], "");
    EXPECT_EQ(saved, "Notes:" + transcripts[0]["text"].get<std::string>());
}

// With Whisper the app transcribes: the helper streams what the microphone heard, all of it.
TEST(RealDesktopSpeechTest, AWhisperDictationStreamsWhatTheUserSaid) {
    TestDesktop& desktop = TestDesktop::shared();
    TestDesktop::Editor editor = desktop.openEditor("");
    const std::string whispered = "Whisper heard you.";
    std::string saved;
    auto result = testing::runDialogue(
        helper(), commandLine(start(3, {{"transcriptionEngine", "whisper"}})),
        {speakThenStop(desktop, 3),
         {"\"phase\":\"whisper_finish\"",
          commandLine({{"command", "whisper_result"}, {"id", 3}, {"text", whispered}})},
         {inserted, "", 1, [&] { saved = desktop.savedText(editor); }}},
        environmentOn(desktop));
    ASSERT_EQ(result.exitStatus, 0) << result.err;

    const std::vector<float> streamed = whisperAudio(result);
    const platform::AudioBuffer& played = phrase().audio();
    // One tap buffer of the microphone's 48 kHz.
    constexpr double oneBuffer = 1024 / 48000.0;
    EXPECT_NEAR(soundingSeconds(streamed, 16000),
                soundingSeconds(played.channels[0], played.format.sampleRate), oneBuffer);
    EXPECT_EQ(saved, whispered);
}

// A spoken Assistant request answered by the app's cloud model.
TEST(RealDesktopSpeechTest, ASpokenRequestGoesToTheCloudAndItsAnswerIntoTheEditor) {
    TestDesktop& desktop = TestDesktop::shared();
    const std::string note = "Dear Ada,";
    TestDesktop::Editor editor = desktop.openEditor(note);
    desktop.pressKeys(editor, {"ctrl+End"});
    const std::string answer = " I can help.";
    std::string saved;
    auto result = testing::runDialogue(
        helper(), commandLine(start(4, {{"mode", "assistant"}, {"provider", "cloud"}})),
        {speakThenStop(desktop, 4),
         {"\"phase\":\"generation_input\"",
          commandLine(
              {{"command", "hosted_complete"}, {"id", 4}, {"action", "text"}, {"text", answer}})},
         {inserted, "", 1, [&] { saved = desktop.savedText(editor); }}},
        environmentOn(desktop));
    ASSERT_EQ(result.exitStatus, 0) << result.err;

    std::vector<json> inputs = eventsOf(result, "generation_input");
    ASSERT_EQ(inputs.size(), 1u) << result.out;
    expectHeardAsWellAsOffline(inputs[0]["request"]);
    EXPECT_EQ(saved, note + answer);
}

// Held keys end recordings as the app drives them: Right Option through the hold monitor, the
// app sending "stop" at its release; Shift by the helper's own poll of the key state. Both
// dictations go to the clipboard, leaving the field alone.
TEST(RealDesktopSpeechTest, ARecordingEndsWhenItsHeldKeyIsReleased) {
    TestDesktop& desktop = TestDesktop::shared();
    desktop.openEditor("");
    const json bindings = {{"dictation", "Hold:RightOption"}};
    std::optional<std::string> pasted;
    auto monitored = testing::runDialogue(
        helper(),
        commandLine({{"command", "hold_configure"}, {"id", 0}, {"holdBindings", bindings}}),
        {{"\"phase\":\"hold_status\"", "", 1, [&] { desktop.keyDown(rightOptionKey); }},
         {"\"phase\":\"hold_pressed\"",
          commandLine(start(6, {{"key", "Hold:RightOption"}, {"output", "copy"}}))},
         {listening, "", 1,
          [&] {
              speak(desktop, phrase().path());
              desktop.keyUp(rightOptionKey);
          }},
         {"\"phase\":\"hold_released\"", commandLine(stop(6))},
         {"Transcript copied.", "", 1,
          [&] { pasted = desktop.pasteFromClipboard("UTF8_STRING"); }}},
        environmentOn(desktop));
    ASSERT_EQ(monitored.exitStatus, 0) << monitored.err;
    std::vector<json> transcripts = eventsOf(monitored, "transcript");
    ASSERT_EQ(transcripts.size(), 1u) << monitored.out;
    expectHeardAsWellAsOffline(transcripts[0]["text"]);
    EXPECT_EQ(pasted, transcripts[0]["text"].get<std::string>());

    desktop.keyDown("Shift_L");
    auto polled = testing::runDialogue(
        helper(), commandLine(start(7, {{"modifiers", "shift"}, {"output", "copy"}})),
        {{listening, "", 1,
          [&] {
              speak(desktop, phrase().path());
              desktop.keyUp("Shift_L");
          }},
         {"Transcript copied.", ""}},
        environmentOn(desktop));
    ASSERT_EQ(polled.exitStatus, 0) << polled.err;
    transcripts = eventsOf(polled, "transcript");
    ASSERT_EQ(transcripts.size(), 1u) << polled.out;
    expectHeardAsWellAsOffline(transcripts[0]["text"]);
}

// A sound server that has gone away is no microphone: the permission is not claimed, and a
// dictation is refused before it starts.
TEST(RealDesktopSpeechTest, WithoutTheSoundServerTheMicrophoneIsRefused) {
    TestDesktop desktop;
    desktop.stopSoundServer();
    auto result = testing::runDialogue(helper(),
                                       commandLine({{"command", "status"}, {"id", 0}}) +
                                           commandLine(start(5, {{"output", "copy"}})),
                                       {{"\"phase\":\"error\"", ""}}, environmentOn(desktop));
    ASSERT_EQ(result.exitStatus, 0) << result.err;

    std::vector<json> availability = eventsOf(result, "availability");
    ASSERT_EQ(availability.size(), 1u) << result.out;
    EXPECT_EQ(availability[0]["microphone"], 1);
    EXPECT_EQ(availability[0]["recognition"], 3);
    std::vector<json> errors = eventsOf(result, "error");
    ASSERT_EQ(errors.size(), 1u) << result.out;
    EXPECT_EQ(
        errors[0]["message"],
        "Enable Microphone in Lumora\u2019s Permissions section, then hold the shortcut again.");
}

}  // namespace
}  // namespace lumora
