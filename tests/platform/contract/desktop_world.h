// One desktop under test for the contract suites: its ports and the editors the suites act on.
// The same typed suite runs on the simulated desktop and on the real one (the headless test
// desktop), so the simulation cannot drift from a real desktop.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/accessibility.h"
#include "platform/audio.h"
#include "platform/keyboard.h"
#include "platform/pasteboard.h"
#include "platform/permissions.h"
#include "platform/screen_capture.h"
#include "platform/speech.h"
#include "platform/windows.h"
#include "platform/workspace.h"
#include "tests/support/eventually.h"

namespace lumora::sim {
class SimDesktop;
}

namespace lumora::contract {

using test_support::eventually;

// An editor application: one window whose multi-line text area holds the text and has the
// keyboard focus, with the caret at the start.
struct Editor {
    pid_t pid = 0;
    std::string name;
    std::uint32_t window = 0;
    std::string title;
};

class DesktopWorld {
  public:
    virtual ~DesktopWorld() = default;

    // Opens one editor per text, in order, so the last is frontmost. Called once per world.
    virtual std::vector<Editor> openEditors(const std::vector<std::string>& texts) = 0;
    // The application quits.
    virtual void closeEditor(const Editor& editor) = 0;

    // The desktop's ports, valid once openEditors has returned.
    virtual platform::Accessibility& accessibility() = 0;
    virtual platform::Workspace& workspace() = 0;
    virtual platform::Windows& windows() = 0;
    virtual platform::ScreenCapture& screenCapture() = 0;
    virtual platform::Permissions& permissions() = 0;
    virtual platform::Keyboard& keyboard() = 0;
    virtual platform::Pasteboard& pasteboard() = 0;
    virtual platform::Audio& audio() = 0;
    virtual platform::Speech& speech() = 0;

    // The simulated desktop, for what a suite has the simulated user do (its hands on the
    // keyboard, another application's clipboard); none on the real desktop, where the suite
    // acts through the X server as another client would.
    virtual sim::SimDesktop* simulated() { return nullptr; }
    // Runs what the desktop handed to the main thread meanwhile (the keyboard's tap and monitor
    // handlers), as the helper's main loop does; the simulated desktop calls them on the spot.
    virtual void runMainThreadWork() {}
};

// Tags naming the two desktops, for typed suites: `makeWorld<SimWorld>()`.
struct SimWorld {};
struct X11World {};

template <class World>
std::unique_ptr<DesktopWorld> makeWorld();

using Worlds = ::testing::Types<SimWorld, X11World>;

}  // namespace lumora::contract
