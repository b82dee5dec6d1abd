#include "platform/sim/sim_desktop.h"

#include <algorithm>

#include "platform/sim/scenario.h"
#include "platform/sim/sim_accessibility.h"
#include "platform/sim/sim_audio.h"
#include "platform/sim/sim_keyboard.h"
#include "platform/sim/sim_language_model.h"
#include "platform/sim/sim_pasteboard.h"
#include "platform/sim/sim_permissions.h"
#include "platform/sim/sim_screen_capture.h"
#include "platform/sim/sim_speech.h"
#include "platform/sim/sim_system.h"
#include "platform/sim/sim_windows.h"
#include "platform/sim/sim_workspace.h"
#include "platform/sim/state_dump.h"
#include "runtime/atomic_file.h"

namespace lumora::sim {

struct SimDesktop::Services {
    explicit Services(std::shared_ptr<World> shared)
        : world(std::move(shared)),
          accessibility(world),
          workspace(world),
          windows(world),
          pasteboard(world),
          otherPasteboard(world),
          keyboard(world),
          permissions(world),
          speech(world),
          audio(world),
          screenCapture(world),
          languageModel(world),
          system(world) {}

    std::shared_ptr<World> world;
    SimAccessibility accessibility;
    SimWorkspace workspace;
    SimWindows windows;
    SimPasteboard pasteboard;
    SimPasteboard otherPasteboard;
    SimKeyboard keyboard;
    SimPermissions permissions;
    SimSpeech speech;
    SimAudio audio;
    SimScreenCapture screenCapture;
    SimLanguageModel languageModel;
    SimSystem system;
};

std::unique_ptr<SimDesktop> SimDesktop::load(std::string_view scenarioJson) {
    auto world = std::make_shared<World>();
    loadScenario(scenarioJson, *world);
    return std::unique_ptr<SimDesktop>(
        new SimDesktop(std::make_unique<Services>(std::move(world))));
}

SimDesktop::SimDesktop(std::unique_ptr<Services> services) : services_(std::move(services)) {}

SimDesktop::~SimDesktop() = default;

platform::Accessibility& SimDesktop::accessibility() {
    return services_->accessibility;
}
platform::Workspace& SimDesktop::workspace() {
    return services_->workspace;
}
platform::Windows& SimDesktop::windows() {
    return services_->windows;
}
platform::Pasteboard& SimDesktop::pasteboard() {
    return services_->pasteboard;
}
platform::Pasteboard& SimDesktop::anotherApplicationsPasteboard() {
    return services_->otherPasteboard;
}
platform::Keyboard& SimDesktop::keyboard() {
    return services_->keyboard;
}
platform::Permissions& SimDesktop::permissions() {
    return services_->permissions;
}
platform::Speech& SimDesktop::speech() {
    return services_->speech;
}
platform::Audio& SimDesktop::audio() {
    return services_->audio;
}
platform::ScreenCapture& SimDesktop::screenCapture() {
    return services_->screenCapture;
}
platform::LanguageModel& SimDesktop::languageModel() {
    return services_->languageModel;
}
platform::System& SimDesktop::system() {
    return services_->system;
}

platform::Ports SimDesktop::ports(platform::TextRecognition& textRecognition,
                                  platform::Images& images,
                                  platform::AudioConversion& audioConversion) {
    return {accessibility(), workspace(), windows(),       pasteboard(),    keyboard(),
            permissions(),   speech(),    audio(),         audioConversion, screenCapture(),
            textRecognition, images,      languageModel(), system()};
}

std::string SimDesktop::stateJson() const {
    std::lock_guard lock(services_->world->mutex);
    return stateDocument(*services_->world)
        .dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

bool SimDesktop::writeState(const std::string& path) const {
    return files::replaceAtomically(path, stateJson() + "\n", 0644);
}

std::vector<std::string> SimDesktop::openedURLs() const {
    std::lock_guard lock(services_->world->mutex);
    return services_->world->openedURLs;
}

std::vector<pid_t> SimDesktop::activatedApplications() const {
    std::lock_guard lock(services_->world->mutex);
    return services_->world->activated;
}

std::vector<ModelCall> SimDesktop::modelCalls() const {
    std::lock_guard lock(services_->world->mutex);
    return services_->world->model.calls;
}

std::vector<platform::InputEvent> SimDesktop::postedEvents() const {
    std::lock_guard lock(services_->world->mutex);
    return services_->world->keyboard.posted;
}

std::vector<std::string> SimDesktop::permissionRequests() const {
    std::lock_guard lock(services_->world->mutex);
    return services_->world->permissions.requests;
}

std::vector<pid_t> SimDesktop::manualAccessibilityRequests() const {
    std::lock_guard lock(services_->world->mutex);
    return services_->world->manualAccessibilityRequests;
}

std::vector<ProcessLaunch> SimDesktop::launchedProcesses() const {
    std::lock_guard lock(services_->world->mutex);
    return services_->world->launches;
}

std::optional<FieldState> SimDesktop::field(const std::string& elementId) const {
    std::lock_guard lock(services_->world->mutex);
    const Element* element = services_->world->element(elementId);
    if (!element || !element->value) return std::nullopt;
    return FieldState{*element->value, element->selection.value_or(platform::TextRange{})};
}

bool SimDesktop::microphoneRunning() const {
    return services_->audio.anyEngineRunning();
}

void SimDesktop::setFrontmost(pid_t pid) {
    std::lock_guard lock(services_->world->mutex);
    services_->world->frontmost = pid;
}

void SimDesktop::terminate(pid_t pid) {
    std::lock_guard lock(services_->world->mutex);
    World& world = *services_->world;
    App* app = world.app(pid);
    if (!app) return;
    app->terminated = true;
    if (world.frontmost != pid) return;
    auto next = std::find_if(world.apps.begin(), world.apps.end(),
                             [](const App& candidate) { return !candidate.terminated; });
    world.frontmost =
        next == world.apps.end() ? std::nullopt : std::optional<pid_t>(next->info.pid);
}

bool SimDesktop::setFocusedElement(pid_t pid, const std::string& elementId) {
    std::lock_guard lock(services_->world->mutex);
    App* app = services_->world->app(pid);
    const Element* element = services_->world->element(elementId);
    if (!app || !element || element->pid != pid) return false;
    app->focusedElement = elementId;
    return true;
}

bool SimDesktop::editField(const std::string& elementId, const std::string& value,
                           platform::TextRange selection) {
    std::lock_guard lock(services_->world->mutex);
    Element* element = services_->world->element(elementId);
    if (!element) return false;
    element->value = value;
    select(*element, selection);
    return true;
}

bool SimDesktop::setWriteQuirks(const std::string& elementId, const WriteQuirks& quirks) {
    std::lock_guard lock(services_->world->mutex);
    Element* element = services_->world->element(elementId);
    if (!element) return false;
    element->rejectWrites = quirks.rejectWrites;
    element->selectsInserted = quirks.selectsInserted;
    element->ignoresWrites = quirks.ignoresWrites;
    return true;
}

void SimDesktop::setAccessibilityTrusted(bool trusted) {
    std::lock_guard lock(services_->world->mutex);
    services_->world->permissions.accessibility = trusted;
}

std::optional<platform::InputEvent> SimDesktop::deliverInput(const platform::InputEvent& event) {
    return services_->keyboard.deliver(event);
}

std::vector<TimedInput> SimDesktop::inputTimeline() const {
    std::lock_guard lock(services_->world->mutex);
    return services_->world->keyboard.input;
}

std::size_t SimDesktop::deliverAudio(double now) {
    return services_->audio.deliver(now);
}

}  // namespace lumora::sim
