// The real desktop's keyboard on the headless test desktop: a key the hold monitor passes on
// after its tap held it back from applications (a claimed key: the only kind the taps delay),
// timed from the user's press (XTest input from a client of its own) to its arrival in the
// focused application (a window of another client of its own), against a key no tap claims,
// which the server hands over directly. Targets: under 2 ms added, median; no allocation on
// the path. The helper's main thread is a thread of its own here, running the loop.
#include <benchmark/benchmark.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>
#include <vector>

#include "assistant/hold/hold_shortcuts.h"
#include "bench/allocation_count.h"
#include "bench/timing.h"
#include "platform/linux/png_images.h"
#include "platform/linux/soxr_conversion.h"
#include "platform/linux/tesseract_recognition.h"
#include "platform/x11/x11_desktop.h"
#include "runtime/clock.h"
#include "runtime/event_loop.h"
#include "tests/support/test_desktop.h"

namespace {

using namespace lumora;
using bench::Clock;
using bench::median;
using bench::milliseconds;

// The keys A and B on the test server's keymap, and A's port key code.
constexpr std::uint8_t heldBackKey = 38;
constexpr std::uint8_t directKey = 56;
constexpr std::uint16_t heldBackCode = 0;
constexpr int presses = 300;

xcb_connection_t* connect() {
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) throw std::runtime_error("no X display");
    return connection;
}

// An application with the keyboard focus, which waits for the keys it receives.
class FocusedWindow {
  public:
    FocusedWindow() : connection_(connect()) {
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
        window_ = xcb_generate_id(connection_);
        const std::uint32_t events =
            XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        // Left alone by the window manager, which could take its map request late or never; the
        // focus is given to it below.
        const std::uint32_t values[] = {1, events};
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, 200, 200,
                          0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                          XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
        xcb_map_window(connection_, window_);
        xcb_flush(connection_);
        while (xcb_generic_event_t* event = xcb_wait_for_event(connection_)) {
            const bool mapped = (event->response_type & 0x7F) == XCB_MAP_NOTIFY;
            std::free(event);
            if (mapped) break;
        }
        xcb_set_input_focus(connection_, XCB_INPUT_FOCUS_POINTER_ROOT, window_, XCB_CURRENT_TIME);
        xcb_flush(connection_);
    }
    ~FocusedWindow() { xcb_disconnect(connection_); }

    void await(std::uint8_t type, std::uint8_t key) {
        while (xcb_generic_event_t* event = xcb_wait_for_event(connection_)) {
            const bool arrived = (event->response_type & 0x7F) == type &&
                                 reinterpret_cast<xcb_key_press_event_t*>(event)->detail == key;
            std::free(event);
            if (arrived) return;
        }
        throw std::runtime_error("the window's connection broke");
    }

  private:
    xcb_connection_t* connection_;
    xcb_window_t window_ = 0;
};

// The user's keyboard.
class UserKeyboard {
  public:
    UserKeyboard() : connection_(connect()) {}
    ~UserKeyboard() { xcb_disconnect(connection_); }
    void send(std::uint8_t type, std::uint8_t key) {
        xcb_test_fake_input(connection_, type, key, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_flush(connection_);
    }

  private:
    xcb_connection_t* connection_;
};

// One press of the key, from the user's keyboard to the window: its latency in microseconds.
double pressLatency(UserKeyboard& user, FocusedWindow& application, std::uint8_t key) {
    const Clock::time_point pressed = Clock::now();
    user.send(XCB_KEY_PRESS, key);
    application.await(XCB_KEY_PRESS, key);
    const double latency =
        std::chrono::duration<double, std::micro>(Clock::now() - pressed).count();
    user.send(XCB_KEY_RELEASE, key);
    application.await(XCB_KEY_RELEASE, key);
    return latency;
}

void keyPassedOnByTheMonitor(benchmark::State& state) {
    test_support::TestDesktop::shared().enter();
    SystemClock clock;
    EventLoop loop(clock);
    std::unique_ptr<x11::X11Desktop> backend = x11::X11Desktop::open(loop);
    platform::PngImages images;
    platform::TesseractRecognition recognition;
    platform::SoxrConversion conversion;
    platform::Ports ports = backend->ports(recognition, images, conversion);
    HoldOperations quiet;
    quiet.sendEvent = [](const json::Document&) {};
    HoldShortcuts monitor(loop, ports, std::move(quiet));
    monitor.configure({{"dictation", "Hold:RightOption"}});
    monitor.install();
    // The monitor swallows only Escape; this tap holds A back and lets it go, which is what the
    // monitor's tap does with an Escape that turns out to need passing on.
    std::unique_ptr<platform::EventTap> holdingBack =
        ports.keyboard.createEventTap(~std::uint64_t{0}, [](const platform::InputEvent& event) {
            return std::optional<platform::InputEvent>(event);
        });
    if (!holdingBack || !holdingBack->withhold({heldBackCode})) {
        state.SkipWithError("the tap was refused");
        return;
    }
    FocusedWindow application;
    UserKeyboard user;
    std::vector<double> held, direct;
    held.reserve(presses);
    direct.reserve(presses);

    std::thread mainThread([&] { loop.run(); });
    const long before = bench::allocationsSoFar();
    for (auto _ : state) {
        held.push_back(pressLatency(user, application, heldBackKey));
        direct.push_back(pressLatency(user, application, directKey));
    }
    const long allocated = bench::allocationsSoFar() - before;
    loop.quit();
    mainThread.join();

    state.counters["heldBackMedianUs"] = median(held);
    state.counters["directMedianUs"] = median(direct);
    state.counters["addedMedianUs"] = median(held) - median(direct);
    // Both keys' presses and releases pass the taps; only A waits for them.
    state.counters["allocationsPerEvent"] =
        static_cast<double>(allocated) / (4.0 * static_cast<double>(held.size()));
}
BENCHMARK(keyPassedOnByTheMonitor)->Iterations(presses)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
