// The reader host's composition root: the caller check, then the message loop on the standard
// streams with the real image, recognition and HTTP services of this platform. Linux keeps no
// registry of installed applications, so only the app-path file can show the app installed.
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <string>
#include <vector>

#include "platform/linux/curl_http.h"
#include "platform/linux/linux_system.h"
#include "platform/linux/png_images.h"
#include "platform/linux/tesseract_recognition.h"
#include "reader-host/byte_streams.h"
#include "reader-host/message_loop.h"
#include "reader-host/ocr_output.h"
#include "reader-host/origin.h"
#include "reader-host/page_recognizer.h"
#include "reader-host/process.h"
#include "runtime/thread_pool.h"

int main(int argc, char** argv) {
    using namespace lumora;
    std::signal(SIGPIPE, SIG_IGN);
    // A screenshot passes through several buffers of tens of megabytes in turn (the message,
    // the data URL, the PNG bytes, the pixels). Served from the heap and kept there when freed,
    // each one reuses the pages the previous one touched instead of faulting in fresh ones.
    ::mallopt(M_MMAP_THRESHOLD, 32 << 20);
    ::mallopt(M_TRIM_THRESHOLD, 256 << 20);
    platform::LinuxSystem system;

    const std::vector<std::string> arguments(argv + std::min(argc, 1), argv + argc);
    if (arguments.empty() || !ReaderHost::acceptsOrigin(arguments.front())) {
        const auto directory = system.environment(std::string(ReaderHost::outputVariable));
        if (directory && !directory->empty())
            ReaderHost::recordOriginRejection(*directory, arguments);
        return ReaderHost::originRejectedStatus;
    }

    platform::PngImages images;
    platform::TesseractRecognition textRecognition;
    ThreadPool pool(1);
    ReaderHost::ScreenTextRecognizer recognizer(textRecognition, pool);
    platform::CurlHttp http;
    ReaderHost::Services services{system, images, recognizer, http, nullptr};

    ReaderHost::FileDescriptorInput input(STDIN_FILENO);
    ReaderHost::FileDescriptorOutput output(STDOUT_FILENO);
    ReaderHost::FileDescriptorOutput diagnostics(STDERR_FILENO);
    return ReaderHost::runMessageLoop(input, output, diagnostics, [&](ReaderHost::Request request) {
        return ReaderHost::process(std::move(request), services);
    });
}
