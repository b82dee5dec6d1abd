// The real desktop's clipboard, on the headless test desktop: a 10 MiB value the helper owns,
// read by another client (xclip) through incremental transfers. Prints how long the read took
// and the process's peak resident memory against the value's size (target: under 3x).
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "platform/x11/x11_clipboard.h"
#include "tests/support/test_desktop.h"

namespace {

constexpr std::size_t valueBytes = std::size_t{10} << 20;

// A figure of /proc/self/status ("VmRSS", "VmHWM"), in KiB.
long statusKiB(const std::string& field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
    }
    return -1;
}

std::string text(std::size_t size) {
    std::string value(size, ' ');
    for (std::size_t index = 0; index < size; ++index) {
        value[index] = static_cast<char>('a' + index % 26);
        if (index % 80 == 79) value[index] = '\n';
    }
    return value;
}

// The bytes xclip pastes as they arrive, compared with the value and never kept, so that the
// reader adds nothing to this process's memory. Returns how many matched before a difference.
std::size_t pastedMatching(const std::string& value) {
    FILE* pasted = ::popen("xclip -o -selection clipboard -t UTF8_STRING", "r");
    if (pasted == nullptr) return 0;
    std::size_t matched = 0;
    char buffer[65536];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pasted)) > 0;) {
        if (value.compare(matched, got, buffer, got) != 0) break;
        matched += got;
    }
    ::pclose(pasted);
    return matched;
}

}  // namespace

int main() {
    lumora::test_support::TestDesktop::shared().enter();
    lumora::x11::X11Clipboard clipboard;
    const long baseline = statusKiB("VmRSS");

    {
        std::string value = text(valueBytes);
        clipboard.clearContents();
        if (!clipboard.setString(value)) {
            std::fprintf(stderr, "clipboard_bench: the clipboard refused the value\n");
            return 1;
        }
        auto started = std::chrono::steady_clock::now();
        std::size_t matched = pastedMatching(value);
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        if (matched != value.size()) {
            std::fprintf(stderr, "clipboard_bench: xclip pasted %zu bytes of %zu\n", matched,
                         value.size());
            return 1;
        }
        std::printf("10 MiB pasted by xclip: %.3f s (%.0f MiB/s)\n", seconds,
                    valueBytes / 1048576.0 / seconds);
    }

    const long peak = statusKiB("VmHWM");
    const double valueKiB = valueBytes / 1024.0;
    std::printf("peak RSS %ld KiB = %.2fx the value; %ld KiB above the %ld KiB before it = %.2fx\n",
                peak, peak / valueKiB, peak - baseline, baseline, (peak - baseline) / valueKiB);
    return 0;
}
