// The simulated desktop: every desktop port in memory, driven by a JSON scenario, behaving
// like a desktop rather than returning canned answers. The assistant's world on Linux and the
// world of controller and end-to-end tests. Thread-safe: the model and audio ports are used
// from worker threads.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/accessibility.h"
#include "platform/audio.h"
#include "platform/keyboard.h"
#include "platform/language_model.h"
#include "platform/pasteboard.h"
#include "platform/permissions.h"
#include "platform/ports.h"
#include "platform/screen_capture.h"
#include "platform/speech.h"
#include "platform/system.h"
#include "platform/windows.h"
#include "platform/workspace.h"

namespace lumora::sim {

// One call the scripted model received, for tests and the state dump.
struct ModelCall {
    platform::ModelConfiguration configuration;
    std::string instructions;
    std::string prompt;
    bool hasImage = false;
    bool streamed = false;
    bool operator==(const ModelCall&) const = default;
};

// A text field as the user sees it: its text and its selection in UTF-16 units.
struct FieldState {
    std::string value;
    platform::TextRange selection;
    bool operator==(const FieldState&) const = default;
};

// How a field's accessibility implementation answers writes of its selected text, as the
// scenario's `rejectWrites`, `selectsInserted` and `ignoresWrites` flags say.
struct WriteQuirks {
    std::optional<platform::AXError> rejectWrites;
    bool selectsInserted = false;
    bool ignoresWrites = false;
    bool operator==(const WriteQuirks&) const = default;
};

// One piece of the user's hardware input, `at` seconds after the helper starts.
struct TimedInput {
    double at = 0;
    platform::InputEvent event;
    bool operator==(const TimedInput&) const = default;
};

// A child process the desktop was asked to launch.
struct ProcessLaunch {
    std::string executable;
    std::vector<std::string> arguments;
    bool operator==(const ProcessLaunch&) const = default;
};

class SimDesktop {
  public:
    // Throws lumora::Error (domain "Lumora.Sim") naming what is wrong with the scenario.
    static std::unique_ptr<SimDesktop> load(std::string_view scenarioJson);
    // The demo world used when no scenario file is named.
    static std::string_view embeddedScenario();

    ~SimDesktop();

    platform::Accessibility& accessibility();
    platform::Workspace& workspace();
    platform::Windows& windows();
    platform::Pasteboard& pasteboard();
    platform::Keyboard& keyboard();
    platform::Permissions& permissions();
    platform::Speech& speech();
    platform::Audio& audio();
    platform::ScreenCapture& screenCapture();
    platform::LanguageModel& languageModel();
    // Real facts of this machine, with what the scenario overrides (OS version, locale,
    // environment, home and temporary directories).
    platform::System& system();
    // The assistant's ports: this desktop's, with the services it does not simulate beside.
    platform::Ports ports(platform::TextRecognition& textRecognition, platform::Images& images,
                          platform::AudioConversion& audioConversion);

    // The world as the user would see it now (fields, pasteboard, activated apps, opened
    // URLs, posted key events, model calls), as one JSON document.
    std::string stateJson() const;
    bool writeState(const std::string& path) const;

    // Inspection and control for tests.
    std::vector<std::string> openedURLs() const;
    std::vector<pid_t> activatedApplications() const;
    std::vector<ModelCall> modelCalls() const;
    // Key events posted through the keyboard port, in order.
    std::vector<platform::InputEvent> postedEvents() const;
    // "microphone", "speechRecognition" or "screenCapture", one entry per request.
    std::vector<std::string> permissionRequests() const;
    // Applications asked to expose their accessibility tree, one entry per request.
    std::vector<pid_t> manualAccessibilityRequests() const;
    std::vector<ProcessLaunch> launchedProcesses() const;
    // None for an unknown element or one without a text value.
    std::optional<FieldState> field(const std::string& elementId) const;
    // Whether some audio engine is running.
    bool microphoneRunning() const;
    // The pasteboard as another application uses it: the same items and change count, through
    // a port of its own, for a test that copies or pastes as that application.
    platform::Pasteboard& anotherApplicationsPasteboard();

    // The user brings an application to the front (no activation is recorded).
    void setFrontmost(pid_t pid);
    // The application quits; the next running application comes to the front if it was
    // frontmost.
    void terminate(pid_t pid);
    // The user moves the focus of an application to one of its elements; false when the
    // element does not belong to it.
    bool setFocusedElement(pid_t pid, const std::string& elementId);
    // The user edits a field; the selection is clamped to the text. False for an unknown
    // element.
    bool editField(const std::string& elementId, const std::string& value,
                   platform::TextRange selection);
    // The application starts treating writes to a field differently, as one does when a
    // field turns read-only while in use. False for an unknown element.
    bool setWriteQuirks(const std::string& elementId, const WriteQuirks& quirks);
    void setAccessibilityTrusted(bool trusted);
    // The user's hardware input: updates the key state, passes through the event taps, then
    // reaches the global key-down monitors and the frontmost application. Returns what the
    // application received, none when a tap swallowed the event.
    std::optional<platform::InputEvent> deliverInput(const platform::InputEvent& event);
    // The scenario's timeline of the user's input, in time order.
    std::vector<TimedInput> inputTimeline() const;
    // The microphone, paced by the caller's clock (`now` in seconds): every running engine's
    // tap hears the buffers of its size that have ended by `now`, counted from the first call
    // that found the engine running with that tap. The scenario's samples come first, then
    // silence for as long as the engine runs; stopping it, or changing its tap, starts over.
    // Taps are called on the calling thread, without the desktop's lock. Returns the number of
    // buffers delivered.
    std::size_t deliverAudio(double now);

  private:
    struct Services;
    explicit SimDesktop(std::unique_ptr<Services> services);
    std::unique_ptr<Services> services_;
};

}  // namespace lumora::sim
