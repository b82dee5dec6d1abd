// The simulated desktop's state: one World behind one mutex, shared by every port of a desktop
// and by the objects they hand out (engines, taps, sessions). Ports lock it for each operation
// and never call a handler while holding it, so a handler may use any port again.
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/accessibility.h"
#include "platform/audio.h"
#include "platform/keyboard.h"
#include "platform/pasteboard.h"
#include "platform/sim/keyboard_layout.h"
#include "platform/sim/sim_desktop.h"
#include "platform/sim/window_image.h"
#include "platform/speech.h"
#include "platform/system.h"
#include "platform/windows.h"
#include "platform/workspace.h"
#include "runtime/error.h"

namespace lumora::sim {

// The attributes a scenario may declare settable; the others have no behaviour to change.
inline constexpr std::string_view valueAttribute = "AXValue";
inline constexpr std::string_view selectedTextAttribute = "AXSelectedText";
inline constexpr std::string_view selectedRangeAttribute = "AXSelectedTextRange";

struct Element {
    std::string id;
    pid_t pid = 0;
    std::optional<std::string> role;
    std::optional<std::string> subrole;
    std::optional<std::string> title;
    std::optional<std::string> description;
    std::optional<std::string> placeholder;
    std::optional<std::string> value;
    std::optional<platform::TextRange> selection;
    std::optional<std::string> parent;
    std::set<std::string, std::less<>> settable;
    std::optional<platform::Rect> caretBounds;
    // Quirks of real applications' accessibility implementations, for the failure paths.
    std::optional<platform::AXError> rejectWrites;
    bool selectsInserted = false;
    bool ignoresWrites = false;

    bool accepts(std::string_view attribute) const { return settable.contains(attribute); }
};

struct App {
    platform::RunningApplication info;
    bool terminated = false;
    std::optional<std::string> focusedElement;
    std::optional<std::string> focusedWindow;
    // Web-engine applications keep their tree to themselves until asked to expose it.
    bool exposesAfterManualAccessibility = false;
    bool manualAccessibility = false;
};

struct Window {
    platform::WindowInfo info;
    double scale = 1;
    std::optional<WindowImage> image;
};

struct PasteboardState {
    std::vector<platform::PasteboardItem> items;
    long changeCount = 0;
    std::set<std::string> unreadableTypes;
    bool writesFail = false;
};

struct PermissionState {
    int microphone = platform::authorizationAuthorized;
    int speechRecognition = platform::authorizationAuthorized;
    bool accessibility = true;
    bool screenCapture = true;
    // What the user answers when a prompt is shown.
    int microphoneRequestResult = platform::authorizationAuthorized;
    int speechRecognitionRequestResult = platform::authorizationAuthorized;
    // The platform answers false while its Screen Recording prompt is still showing.
    bool screenCaptureRequestResult = false;
    std::vector<std::string> requests;
};

using KeyMonitor = std::function<void(std::uint16_t)>;

struct EventTapState {
    std::uint64_t mask = 0;
    bool enabled = true;
    std::shared_ptr<platform::EventTapHandler> handler;
};

struct KeyboardState {
    // Key code to the text the key types; none when the layout has no Unicode data.
    std::optional<KeyLayout> layout = ansiUsLayout();
    platform::EventFlags sessionFlags = 0;
    std::set<std::uint16_t> pressedKeys;
    bool keyEventsFail = false;
    bool eventTapsRefused = false;
    // The scenario's timeline of input, in time order.
    std::vector<TimedInput> input;
    std::vector<platform::InputEvent> posted;
    std::map<int, std::shared_ptr<KeyMonitor>> monitors;
    std::map<int, EventTapState> taps;
    int nextId = 0;
};

struct RecognizerState {
    bool available = true;
    bool onDevice = true;
};

// A result the recogniser reports once it has heard `afterAudio` seconds of a request's audio,
// or when the audio ends.
struct ScriptedResult {
    platform::RecognitionResult result;
    std::optional<double> afterAudio;
};

struct SpeechState {
    std::vector<std::string> locales{"en_US", "fr_FR", "de_DE", "en_GB"};
    std::map<std::string, RecognizerState> recognizers;
    std::vector<ScriptedResult> results;
    std::optional<std::string> error;
};

using AudioTap = std::function<void(const platform::AudioBuffer&)>;

struct EngineState {
    bool running = false;
    std::uint32_t tapFrames = 0;
    platform::AudioFormat tapFormat;
    std::shared_ptr<AudioTap> tap;
    // The tap's stream: when the microphone first found the engine running with it, on the
    // delivering clock, and how many buffers it has heard since.
    std::optional<double> streamStart;
    std::uint64_t buffersDelivered = 0;
};

struct AudioState {
    platform::AudioFormat input{48000, 1};
    std::optional<Error> startError;
    std::vector<float> samples;
    std::map<int, EngineState> engines;
    int nextId = 0;
    // The engine whose tap is being called, and the thread calling it.
    std::optional<int> tapInUse;
    std::thread::id tapThread;
    std::condition_variable tapReturned;
};

struct ProcessScript {
    int exitStatus = 0;
    // Written as PNG to the path of the last argument when the process succeeds.
    std::optional<WindowImage> outputImage;
    // Like an interactive tool waiting for the user: runs until terminated.
    bool runsUntilTerminated = false;
};

struct ModelReply {
    std::optional<std::string> match;
    std::optional<std::string> instructionsMatch;
    std::optional<platform::ModelConfiguration> configuration;
    std::string text;
    std::optional<Error> error;
    std::size_t chunkSize = 8;
    // Seconds the model takes to produce each snapshot, as a real model paces its tokens.
    double chunkInterval = 0;
    // A model that goes quiet: after this many characters it produces nothing more until the
    // call is stopped.
    std::optional<std::size_t> stallsAfter;
};

// What the model says to anything no scripted reply matches, unless the scenario says otherwise.
inline ModelReply fallbackReply() {
    ModelReply reply;
    reply.text = "OK";
    return reply;
}

struct ModelState {
    bool available = true;
    std::string description = "available";
    bool supportsImages = false;
    std::vector<ModelReply> replies;
    ModelReply defaultReply = fallbackReply();
    std::vector<ModelCall> calls;
};

struct SystemOverrides {
    platform::OsVersion version{15, 4, 0, "15.4"};
    std::string locale = "en_US";
    // A null value removes the variable from the real environment.
    std::map<std::string, std::optional<std::string>> environment;
    std::optional<std::string> homeDirectory;
    std::optional<std::string> temporaryDirectory;
};

struct World {
    mutable std::mutex mutex;

    pid_t parentPid = 1;
    std::optional<pid_t> frontmost;
    std::vector<App> apps;
    std::vector<Element> elements;
    std::map<std::string, std::string> installedApplications;
    std::vector<Window> windows;
    PasteboardState pasteboard;
    PermissionState permissions;
    KeyboardState keyboard;
    SpeechState speech;
    AudioState audio;
    std::map<std::string, ProcessScript> processes;
    ModelState model;
    SystemOverrides system;

    bool activationProhibited = false;
    std::vector<pid_t> activated;
    std::vector<std::string> openedURLs;
    std::vector<pid_t> manualAccessibilityRequests;
    std::vector<ProcessLaunch> launches;

    App* app(pid_t pid);
    const App* app(pid_t pid) const;
    App* frontmostApp();
    // A running application's element; none for unknown ids and for elements of applications
    // that have quit.
    Element* liveElement(std::string_view id);
    Element* element(std::string_view id);
    const Element* element(std::string_view id) const;
};

// Selects `range` clamped to the element's value.
void select(Element& element, platform::TextRange range);

// Replaces the element's selection by `text` as typing or pasting does: afterwards a caret
// right behind the inserted text, or the inserted text selected.
void replaceSelection(Element& element, std::string_view text, bool selectInserted);

}  // namespace lumora::sim
