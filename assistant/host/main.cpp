// The assistant's composition root: the simulated desktop (this platform has no desktop
// services of its own) plus the real Linux services, the controller, the stdin reader thread
// and the main loop. Exits 0 when standard input ends, once the user's clipboard is back.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "assistant/host/assistant.h"
#include "assistant/host/command_reader.h"
#include "platform/linux/png_images.h"
#include "platform/linux/soxr_conversion.h"
#include "platform/linux/tesseract_recognition.h"
#include "platform/sim/input_timeline.h"
#include "platform/sim/realtime_microphone.h"
#include "platform/sim/sim_desktop.h"
#include "runtime/atomic_file.h"
#include "runtime/clock.h"
#include "runtime/error.h"
#include "runtime/thread_pool.h"

namespace {

std::unique_ptr<lumora::sim::SimDesktop> loadDesktop() {
    const char* path = std::getenv("LUMORA_SIM_SCENARIO");
    if (path == nullptr || *path == '\0') {
        return lumora::sim::SimDesktop::load(lumora::sim::SimDesktop::embeddedScenario());
    }
    auto scenario = lumora::files::readAll(path);
    if (!scenario) {
        throw lumora::Error("Lumora.Sim", 1, std::string("Cannot read the scenario ") + path);
    }
    return lumora::sim::SimDesktop::load(*scenario);
}

}  // namespace

int main() {
    std::signal(SIGPIPE, SIG_IGN);

    std::unique_ptr<lumora::sim::SimDesktop> desktop;
    try {
        desktop = loadDesktop();
    } catch (const lumora::Error& error) {
        std::fprintf(stderr, "lumora-assistant: %s\n", error.description.c_str());
        return 2;
    }

    lumora::SystemClock clock;
    lumora::EventLoop loop(clock);
    lumora::platform::PngImages images;
    lumora::platform::TesseractRecognition textRecognition;
    lumora::platform::SoxrConversion audioConversion;
    // Declared after the services its jobs use: its destructor finishes the jobs still queued
    // or running when input ends, and they must find those services alive.
    lumora::ThreadPool pool(2);
    // Audit records are written one at a time, in order, off the main thread; the records
    // still queued when input ends are written before the helper exits.
    lumora::ThreadPool auditWriter(1, "lumora.audit");
    lumora::platform::Ports ports = desktop->ports(textRecognition, images, audioConversion);

    ports.workspace.prohibitActivation();
    {
        lumora::Assistant assistant(loop, pool, auditWriter, ports);
        assistant.installEscape();
        // The user's hands on the simulated keyboard, as the scenario scripts them.
        lumora::sim::InputTimeline userInput(loop, *desktop);
        // The user's voice, heard in real time by the engines the assistant starts. Declared
        // after the assistant so that its thread stops before the taps' owners go.
        lumora::sim::RealtimeMicrophone microphone(*desktop);

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

    if (const char* stateOut = std::getenv("LUMORA_SIM_STATE_OUT"); stateOut && *stateOut) {
        if (!desktop->writeState(stateOut)) {
            std::fprintf(stderr, "lumora-assistant: cannot write the state to %s\n", stateOut);
        }
    }
    return 0;
}
