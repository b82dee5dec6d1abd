// The helper's writes into the applications people use, on the headless test desktop, through
// the backend the helper uses: how long the first streamed snapshot of a reply takes to be in
// the field (written and read back) in every application that takes streamed text, and how
// long an answer pasted into LibreOffice Writer takes to show in its paragraph, beside Writer's
// own paste of the same clipboard (Ctrl+V pressed by the user, the text served by another
// client). Prints the medians.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "assistant/target/focused_paste.h"
#include "assistant/target/target.h"
#include "platform/linux/png_images.h"
#include "platform/linux/soxr_conversion.h"
#include "platform/linux/tesseract_recognition.h"
#include "platform/x11/x11_desktop.h"
#include "runtime/clock.h"
#include "runtime/event_loop.h"
#include "runtime/task.h"
#include "tests/support/test_desktop.h"

namespace {

using lumora::test_support::TestDesktop;
using Application = TestDesktop::Application;
using Clock = std::chrono::steady_clock;

constexpr int runs = 15;
const std::string snapshot = " Thanks, team \U0001F44D\U0001F3FD";

double milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::unique_ptr<lumora::x11::X11Desktop> backendOnTheTestDesktop(lumora::EventLoop& loop) {
    TestDesktop::shared().enter();
    return lumora::x11::X11Desktop::open(loop);
}

struct Desktop {
    // The loop before the backend, which posts to it until it is gone.
    lumora::SystemClock clock;
    lumora::EventLoop loop{clock};
    std::unique_ptr<lumora::x11::X11Desktop> backend = backendOnTheTestDesktop(loop);
    lumora::platform::PngImages images;
    lumora::platform::TesseractRecognition recognition;
    lumora::platform::SoxrConversion conversion;
    lumora::platform::Ports ports = backend->ports(recognition, images, conversion);
    lumora::BorrowedClipboard clipboard{loop, ports.pasteboard};

    // The focused field's text, as the application reports it now.
    std::string focusedText() {
        auto& ax = ports.accessibility;
        auto focused = ax.copyAttribute(ax.systemWideElement(), "AXFocusedUIElement");
        auto* element = focused ? std::get_if<lumora::platform::AXElement>(&*focused) : nullptr;
        auto value = element ? ax.copyAttribute(*element, "AXValue") : std::nullopt;
        auto* text = value ? std::get_if<std::string>(&*value) : nullptr;
        return text ? *text : "";
    }

    // How long after `start` the focused field came to hold `text`; negative when it did not
    // within five seconds.
    double shownAfter(Clock::time_point start, const std::string& text) {
        while (focusedText().find(text) == std::string::npos) {
            if (Clock::now() - start > std::chrono::seconds(5)) return -1;
        }
        return milliseconds(Clock::now() - start);
    }

    // Runs the helper's paste of `text` to its end.
    bool paste(lumora::Target& target, const std::string& text) {
        bool pasted = false;
        bool done = false;
        auto run = [&]() -> lumora::Task<void> {
            pasted = co_await target.insert(text, false);
            done = true;
        };
        lumora::TaskHandle handle = lumora::spawn(loop, run());
        while (!done) {
            loop.runUntilIdle();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        return pasted;
    }
};

std::string nameOf(Application application) {
    switch (application) {
        case Application::mousepad:
            return "mousepad (GTK 3)";
        case Application::featherpad:
            return "FeatherPad (Qt 5)";
        case Application::textEditor:
            return "GNOME Text Editor (GTK 4)";
        case Application::writer:
            return "LibreOffice Writer";
        default:
            return "";
    }
}

void firstSnapshots(Desktop& desktop, Application application) {
    TestDesktop::Editor editor =
        TestDesktop::shared().openApplication(application, "Notes for the team.");
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        lumora::Target target(desktop.ports, desktop.loop, desktop.clipboard);
        target.beginReply();
        auto start = Clock::now();
        target.streamInsert(snapshot);
        double written = milliseconds(Clock::now() - start);
        if (!target.streamCompleted(snapshot) || !target.undo()) {
            std::printf("%s: the snapshot did not land as streamed\n", nameOf(application).c_str());
            TestDesktop::shared().closeEditor(editor);
            return;
        }
        times.push_back(written);
    }
    std::printf("%-28s first snapshot written and read back: median %.2f ms (%d runs)\n",
                nameOf(application).c_str(), median(times), runs);
    TestDesktop::shared().closeEditor(editor);
}

void writerPastes(Desktop& desktop) {
    TestDesktop& test = TestDesktop::shared();
    TestDesktop::Editor editor = test.openApplication(Application::writer, "Notes.");
    std::vector<double> own, helper;
    for (int run = 0; run < runs; ++run) {
        const std::string ownText = "own" + std::to_string(run);
        test.copyToClipboard("UTF8_STRING", ownText);
        auto start = Clock::now();
        test.pressKeys(editor, {"ctrl+v"});
        own.push_back(desktop.shownAfter(start, ownText));

        const std::string helperText = "helper" + std::to_string(run);
        lumora::Target target(desktop.ports, desktop.loop, desktop.clipboard);
        start = Clock::now();
        if (!desktop.paste(target, helperText)) {
            std::printf("Writer: the helper's paste was refused (%s)\n",
                        target.insertionFailure().value_or("").c_str());
            break;
        }
        helper.push_back(desktop.shownAfter(start, helperText));
    }
    if (!own.empty() && !helper.empty()) {
        std::printf(
            "LibreOffice Writer paste shown: Writer's own %.0f ms, the helper's %.0f ms "
            "(medians of %zu)\n",
            median(own), median(helper), helper.size());
    }
    test.closeEditor(editor);
}

}  // namespace

int main() {
    Desktop desktop;
    for (Application application : {Application::mousepad, Application::featherpad,
                                    Application::textEditor, Application::writer}) {
        firstSnapshots(desktop, application);
    }
    writerPastes(desktop);
    return 0;
}
