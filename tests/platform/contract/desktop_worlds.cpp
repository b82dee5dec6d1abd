// The two desktops of the contract suites. The simulated one is a scenario of editors shaped
// like the real desktop's mousepad windows; the real one is the headless test desktop, with
// one X11 desktop backend for the whole test process, as the helper has.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "platform/sim/sim_desktop.h"
#include "platform/x11/x11_desktop.h"
#include "runtime/clock.h"
#include "runtime/event_loop.h"
#include "runtime/text.h"
#include "tests/platform/contract/desktop_world.h"
#include "tests/support/test_desktop.h"

namespace lumora::contract {

namespace {

using nlohmann::json;

constexpr const char* editorName = "Mousepad";
constexpr pid_t firstSimulatedPid = 300;
constexpr std::uint32_t firstSimulatedWindow = 0x1400003;

json simulatedEditor(std::size_t index, const std::string& text, const std::string& title) {
    const std::string window = "window-" + std::to_string(index);
    const std::string field = "text-" + std::to_string(index);
    return {{"pid", firstSimulatedPid + static_cast<pid_t>(index)},
            {"name", editorName},
            {"bundleId", "org.xfce.mousepad"},
            {"focusedWindow", window},
            {"focusedElement", field},
            {"elements",
             {{{"id", window}, {"role", "AXWindow"}, {"title", title}},
              {{"id", field},
               {"role", "AXTextArea"},
               {"parent", window},
               {"value", text},
               {"selection", {{"location", 0}, {"length", 0}}},
               {"caretBounds", {{"x", 22}, {"y", 96}, {"width", 0}, {"height", 18}}}}}}};
}

class SimulatedDesktopWorld final : public DesktopWorld {
  public:
    std::vector<Editor> openEditors(const std::vector<std::string>& texts) override {
        json apps = json::array();
        json windows = json::array();
        std::vector<Editor> editors;
        for (std::size_t index = 0; index < texts.size(); ++index) {
            Editor editor{firstSimulatedPid + static_cast<pid_t>(index), editorName,
                          firstSimulatedWindow + static_cast<std::uint32_t>(index),
                          "note-" + std::to_string(index) + ".txt - Mousepad"};
            apps.push_back(simulatedEditor(index, texts[index], editor.title));
            windows.insert(windows.begin(),
                           json{{"number", editor.window},
                                {"ownerPid", editor.pid},
                                {"name", editor.title},
                                {"bounds", {{"x", 10}, {"y", 40}, {"width", 640}, {"height", 480}}},
                                {"image", {{"path", LUMORA_OCR_FIXTURES "/lines.png"}}}});
            editors.push_back(editor);
        }
        json scenario = {{"apps", apps},
                         {"windows", windows},
                         {"frontmost", editors.empty() ? json(nullptr) : json(editors.back().pid)}};
        desktop_ = sim::SimDesktop::load(scenario.dump());
        return editors;
    }
    void closeEditor(const Editor& editor) override { desktop_->terminate(editor.pid); }

    platform::Accessibility& accessibility() override { return desktop_->accessibility(); }
    platform::Workspace& workspace() override { return desktop_->workspace(); }
    platform::Windows& windows() override { return desktop_->windows(); }
    platform::ScreenCapture& screenCapture() override { return desktop_->screenCapture(); }
    platform::Permissions& permissions() override { return desktop_->permissions(); }
    platform::Keyboard& keyboard() override { return desktop_->keyboard(); }
    platform::Pasteboard& pasteboard() override { return desktop_->pasteboard(); }
    platform::Audio& audio() override { return desktop_->audio(); }
    platform::Speech& speech() override { return desktop_->speech(); }
    sim::SimDesktop* simulated() override { return desktop_.get(); }

  private:
    std::unique_ptr<sim::SimDesktop> desktop_;
};

// The test's thread stands for the helper's main thread; the suites run its loop.
EventLoop& mainLoop() {
    static SystemClock clock;
    static EventLoop loop(clock);
    return loop;
}

// The desktop backend of this test process, opened once the test desktop is entered.
x11::X11Desktop& realBackend() {
    static std::unique_ptr<x11::X11Desktop> backend = [] {
        test_support::TestDesktop::shared().enter();
        return x11::X11Desktop::open(mainLoop());
    }();
    return *backend;
}

// Whether the editor's text view has the keyboard focus as accessibility sees it.
bool textViewFocused(platform::Accessibility& ax, pid_t pid) {
    auto focused = ax.copyAttribute(ax.applicationElement(pid), "AXFocusedUIElement");
    auto* element = focused ? std::get_if<platform::AXElement>(&*focused) : nullptr;
    if (!element) return false;
    auto role = ax.copyAttribute(*element, "AXRole");
    return role && std::get_if<std::string>(&*role) && std::get<std::string>(*role) == "AXTextArea";
}

class RealDesktopWorld final : public DesktopWorld {
  public:
    RealDesktopWorld() : backend_(realBackend()) {}
    ~RealDesktopWorld() override {
        for (const test_support::TestDesktop::Editor& editor : open_) {
            test_support::TestDesktop::shared().closeEditor(editor);
        }
    }

    std::vector<Editor> openEditors(const std::vector<std::string>& texts) override {
        std::vector<Editor> editors;
        for (const std::string& text : texts) {
            auto opened = test_support::TestDesktop::shared().openEditor(
                text, [this](const test_support::TestDesktop::Editor& editor) {
                    return textViewFocused(backend_.accessibility(), editor.pid);
                });
            open_.push_back(opened);
            editors.push_back({opened.pid, editorName, opened.window, opened.title});
        }
        return editors;
    }
    void closeEditor(const Editor& editor) override {
        for (auto it = open_.begin(); it != open_.end(); ++it) {
            if (it->pid != editor.pid) continue;
            test_support::TestDesktop::shared().closeEditor(*it);
            open_.erase(it);
            return;
        }
    }

    platform::Accessibility& accessibility() override { return backend_.accessibility(); }
    platform::Workspace& workspace() override { return backend_.workspace(); }
    platform::Windows& windows() override { return backend_.windows(); }
    platform::ScreenCapture& screenCapture() override { return backend_.screenCapture(); }
    platform::Permissions& permissions() override { return backend_.permissions(); }
    platform::Keyboard& keyboard() override { return backend_.keyboard(); }
    platform::Pasteboard& pasteboard() override { return backend_.pasteboard(); }
    platform::Audio& audio() override { return backend_.audio(); }
    platform::Speech& speech() override { return backend_.speech(); }
    void runMainThreadWork() override { mainLoop().runUntilIdle(); }

  private:
    x11::X11Desktop& backend_;
    std::vector<test_support::TestDesktop::Editor> open_;
};

}  // namespace

template <>
std::unique_ptr<DesktopWorld> makeWorld<SimWorld>() {
    return std::make_unique<SimulatedDesktopWorld>();
}

template <>
std::unique_ptr<DesktopWorld> makeWorld<X11World>() {
    return std::make_unique<RealDesktopWorld>();
}

}  // namespace lumora::contract
