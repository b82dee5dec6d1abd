// The backend the helper uses on the real desktop, opened on the headless test desktop, with
// the ports the assistant's logic takes: what the real desktop's benchmarks measure through.
#pragma once

#include <memory>

#include "assistant/target/focused_paste.h"
#include "platform/linux/png_images.h"
#include "platform/linux/soxr_conversion.h"
#include "platform/linux/tesseract_recognition.h"
#include "platform/x11/x11_desktop.h"
#include "runtime/clock.h"
#include "runtime/event_loop.h"
#include "tests/support/test_desktop.h"

namespace lumora::bench {

inline std::unique_ptr<x11::X11Desktop> backendOnTheTestDesktop(EventLoop& loop) {
    test_support::TestDesktop::shared().enter();
    return x11::X11Desktop::open(loop);
}

struct DesktopBackend {
    // The loop before the backend, which posts to it until it is gone.
    SystemClock clock;
    EventLoop loop{clock};
    std::unique_ptr<x11::X11Desktop> backend = backendOnTheTestDesktop(loop);
    platform::PngImages images;
    platform::TesseractRecognition recognition;
    platform::SoxrConversion conversion;
    platform::Ports ports = backend->ports(recognition, images, conversion);
    BorrowedClipboard clipboard{loop, ports.pasteboard};
};

}  // namespace lumora::bench
