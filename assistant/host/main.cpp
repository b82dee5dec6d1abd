// The assistant's composition root: the desktop it serves (the real X11 desktop, or the
// simulated one of the demo and the tests), the real Linux services beside it, the
// controller, the stdin reader thread and the main loop. Exits 0 when standard input ends,
// once the user's clipboard is back and what the helper holds on it is handed on; 2 when no
// desktop can be served, before any event.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

#include "assistant/host/assistant.h"
#include "assistant/host/command_reader.h"
#include "assistant/host/desktop_choice.h"
#include "platform/linux/png_images.h"
#include "platform/linux/soxr_conversion.h"
#include "platform/linux/tesseract_recognition.h"
#include "platform/sim/input_timeline.h"
#include "platform/sim/realtime_microphone.h"
#include "platform/sim/sim_desktop.h"
#include "platform/x11/x11_desktop.h"
#include "runtime/atomic_file.h"
#include "runtime/clock.h"
#include "runtime/error.h"
#include "runtime/thread_pool.h"

namespace {

std::optional<std::string> variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

std::unique_ptr<lumora::sim::SimDesktop> loadSimulatedDesktop() {
    std::optional<std::string> path = variable("LUMORA_SIM_SCENARIO");
    if (!path || path->empty()) {
        return lumora::sim::SimDesktop::load(lumora::sim::SimDesktop::embeddedScenario());
    }
    auto scenario = lumora::files::readAll(*path);
    if (!scenario) throw lumora::Error("Lumora.Sim", 1, "Cannot read the scenario " + *path);
    return lumora::sim::SimDesktop::load(*scenario);
}

// What a desktop brings beside its ports: the drivers of a simulated user, started once the
// assistant exists and stopped before it goes, and what is left to do at exit.
struct Desktop {
    std::function<lumora::platform::Ports(lumora::platform::TextRecognition&,
                                          lumora::platform::Images&,
                                          lumora::platform::AudioConversion&)>
        ports;
    std::function<std::shared_ptr<void>(lumora::EventLoop&)> startUser = [](lumora::EventLoop&) {
        return nullptr;
    };
    std::function<void()> finish = [] {};
    std::shared_ptr<void> owner;
};

Desktop simulatedDesktop() {
    std::shared_ptr<lumora::sim::SimDesktop> desktop = loadSimulatedDesktop();
    Desktop chosen;
    chosen.owner = desktop;
    chosen.ports = [desktop](auto& recognition, auto& images, auto& conversion) {
        return desktop->ports(recognition, images, conversion);
    };
    chosen.startUser = [desktop](lumora::EventLoop& loop) -> std::shared_ptr<void> {
        // The user's hands on the simulated keyboard, as the scenario scripts them, and their
        // voice, heard in real time by the engines the assistant starts.
        struct User {
            User(lumora::EventLoop& loop, lumora::sim::SimDesktop& desktop)
                : hands(loop, desktop), voice(desktop) {}
            lumora::sim::InputTimeline hands;
            lumora::sim::RealtimeMicrophone voice;
        };
        return std::make_shared<User>(loop, *desktop);
    };
    chosen.finish = [desktop] {
        std::optional<std::string> stateOut = variable("LUMORA_SIM_STATE_OUT");
        if (stateOut && !stateOut->empty() && !desktop->writeState(*stateOut)) {
            std::fprintf(stderr, "lumora-assistant: cannot write the state to %s\n",
                         stateOut->c_str());
        }
    };
    return chosen;
}

// Its keyboard hands the user's input to the main loop, where the event taps run. The
// selections it holds outlive the helper.
Desktop realDesktop(lumora::EventLoop& loop) {
    std::shared_ptr<lumora::x11::X11Desktop> desktop = lumora::x11::X11Desktop::open(loop);
    Desktop chosen;
    chosen.owner = desktop;
    chosen.ports = [desktop](auto& recognition, auto& images, auto& conversion) {
        return desktop->ports(recognition, images, conversion);
    };
    chosen.finish = [desktop] { desktop->handOnSelections(); };
    return chosen;
}

Desktop chosenDesktop(lumora::EventLoop& loop) {
    auto choice = lumora::chooseDesktop(
        {variable("LUMORA_DESKTOP"), variable("DISPLAY"), variable("LUMORA_SIM_SCENARIO")});
    if (const auto* refusal = std::get_if<std::string>(&choice)) {
        throw lumora::Error("Lumora", 2, *refusal);
    }
    return std::get<lumora::DesktopKind>(choice) == lumora::DesktopKind::x11 ? realDesktop(loop)
                                                                             : simulatedDesktop();
}

}  // namespace

int main() {
    std::signal(SIGPIPE, SIG_IGN);

    lumora::SystemClock clock;
    // Before the desktop, which posts to it until it is gone.
    lumora::EventLoop loop(clock);
    Desktop desktop;
    try {
        desktop = chosenDesktop(loop);
    } catch (const lumora::Error& error) {
        std::fprintf(stderr, "lumora-assistant: %s\n", error.description.c_str());
        return 2;
    }

    lumora::platform::PngImages images;
    lumora::platform::TesseractRecognition textRecognition;
    lumora::platform::SoxrConversion audioConversion;
    // Declared after the services its jobs use: its destructor finishes the jobs still queued
    // or running when input ends, and they must find those services alive.
    lumora::ThreadPool pool(2);
    // Audit records are written one at a time, in order, off the main thread; the records
    // still queued when input ends are written before the helper exits.
    lumora::ThreadPool auditWriter(1, "lumora.audit");
    lumora::platform::Ports ports = desktop.ports(textRecognition, images, audioConversion);

    ports.workspace.prohibitActivation();
    {
        lumora::Assistant assistant(loop, pool, auditWriter, ports);
        assistant.installEscape();
        // Declared after the assistant so that a simulated user stops before the taps' owners
        // go.
        std::shared_ptr<void> user = desktop.startUser(loop);

        lumora::CommandGate gate(lumora::pendingCommandLimit);
        std::thread reader([&] {
            lumora::readCommands(STDIN_FILENO, gate, [&](lumora::Request request) {
                loop.post([&, request = std::move(request)] {
                    // Left before handling, so that a command that throws still frees its place.
                    gate.leave();
                    assistant.handle(request);
                });
            });
            loop.post([&] {
                assistant.cancel(true);
                // Turns already queued, such as a task the last commands started, run first;
                // then the user's clipboard, if a paste still has it, comes back when due.
                loop.post([&] { assistant.whenClipboardReturned([&] { loop.quit(); }); });
            });
        });
        loop.run();
        gate.close();
        reader.join();
        // Whatever a cancelled task still awaits in the pool is told to stop, so the pool's
        // workers can be joined.
        loop.destroyTasks();
    }

    desktop.finish();
    return 0;
}
