// The simulated desktop: every desktop port in memory, driven by a JSON scenario, behaving
// like a desktop rather than returning canned answers. The assistant's world on Linux and the
// world of controller and end-to-end tests. Thread-safe: the model and audio ports are used
// from worker threads.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/accessibility.h"
#include "platform/audio.h"
#include "platform/keyboard.h"
#include "platform/language_model.h"
#include "platform/pasteboard.h"
#include "platform/permissions.h"
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

    // The world as the user would see it now (fields, pasteboard, activated apps, opened
    // URLs, posted key events, model calls), as one JSON document.
    std::string stateJson() const;
    bool writeState(const std::string& path) const;

    // Inspection and control for tests.
    std::vector<std::string> openedURLs() const;
    std::vector<pid_t> activatedApplications() const;
    std::vector<ModelCall> modelCalls() const;
    void setFrontmost(pid_t pid);

private:
    struct World;
    explicit SimDesktop(std::unique_ptr<World> world);
    std::unique_ptr<World> world_;
};

}  // namespace lumora::sim
