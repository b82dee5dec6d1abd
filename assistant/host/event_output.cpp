#include "assistant/host/event_output.h"

#include <unistd.h>

#include <cerrno>
#include <string>

namespace lumora {

namespace {

// A closed pipe must never end the helper: SIGPIPE is ignored at start-up and a failed write
// simply drops the line.
void writeToStandardOutput(std::string_view line) {
    const char* data = line.data();
    std::size_t left = line.size();
    while (left > 0) {
        ssize_t written = ::write(STDOUT_FILENO, data, left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        data += written;
        left -= static_cast<std::size_t>(written);
    }
}

std::function<void(std::string_view)>& destination() {
    static std::function<void(std::string_view)> current = writeToStandardOutput;
    return current;
}

}  // namespace

std::mutex& outputLock() {
    static std::mutex lock;
    return lock;
}

void emit(const json::Document& object) {
    std::string line;
    try {
        line = json::serialize(object);
    } catch (...) {
        return;
    }
    writeEventLine(line);
}

void writeEventLine(std::string_view serialised) {
    std::string line;
    line.reserve(serialised.size() + 1);
    line.append(serialised);
    line.push_back('\n');
    std::lock_guard lock(outputLock());
    destination()(line);
}

void setEventDestination(std::function<void(std::string_view line)> replacement) {
    std::lock_guard lock(outputLock());
    destination() = std::move(replacement);
}

void resetEventDestination() {
    setEventDestination(writeToStandardOutput);
}

}  // namespace lumora
