#include "tests/e2e/child_process.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <string_view>
#include <thread>

extern char** environ;

namespace lumora::testing {

namespace {

constexpr auto markerWait = std::chrono::seconds(30);

// Standard output as it arrives, so the writer can wait for a line before ending the input.
class Output {
  public:
    explicit Output(const LineObserver& observe) : observe_(observe) {}

    // Only the reader calls it, so the lines it shows need no lock of their own.
    void append(const char* data, std::size_t size) {
        std::string_view arrived(data, size);
        {
            std::lock_guard lock(mutex_);
            text_.append(arrived);
            grew_.notify_all();
        }
        if (!observe_) return;
        partialLine_.append(arrived);
        for (std::size_t end; (end = partialLine_.find('\n')) != std::string::npos;) {
            observe_(partialLine_.substr(0, end), false);
            partialLine_.erase(0, end + 1);
        }
    }
    void close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
        grew_.notify_all();
    }
    void waitFor(const std::string& marker, std::size_t occurrences) {
        std::unique_lock lock(mutex_);
        // Counting resumes where it stopped, so a long conversation is scanned once.
        std::size_t found = 0;
        std::size_t from = 0;
        grew_.wait_for(lock, markerWait, [&] {
            for (std::size_t at;
                 found < occurrences && (at = text_.find(marker, from)) != std::string::npos;) {
                ++found;
                from = at + marker.size();
            }
            return closed_ || found >= occurrences;
        });
    }
    std::string take() {
        std::lock_guard lock(mutex_);
        return std::move(text_);
    }

  private:
    std::mutex mutex_;
    std::condition_variable grew_;
    std::string text_;
    bool closed_ = false;
    const LineObserver& observe_;
    std::string partialLine_;
};

template <class Sink>
void drain(int fd, Sink sink) {
    char buffer[65536];
    while (true) {
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        sink(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
}

void feed(int fd, std::string_view input) {
    std::size_t done = 0;
    while (done < input.size()) {
        ssize_t wrote = ::write(fd, input.data() + done, input.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) break;  // the program stopped reading
        done += static_cast<std::size_t>(wrote);
    }
}

std::vector<std::string> mergedEnvironment(const std::map<std::string, std::string>& extra) {
    std::map<std::string, std::string> merged;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        std::string text(*entry);
        auto equals = text.find('=');
        if (equals != std::string::npos) merged[text.substr(0, equals)] = text.substr(equals + 1);
    }
    for (const auto& [key, value] : extra) merged[key] = value;
    std::vector<std::string> result;
    for (const auto& [key, value] : merged) result.push_back(key + "=" + value);
    return result;
}

// A started program with the test's ends of its three pipes.
struct Child {
    pid_t pid = 0;
    int in = -1, out = -1, err = -1;
};

Child start(const std::string& executable, const std::map<std::string, std::string>& environment,
            const std::vector<std::string>& arguments) {
    // A program that stops reading early must not take the test down with it.
    std::signal(SIGPIPE, SIG_IGN);
    int in[2], out[2], err[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0 || ::pipe(err) != 0) {
        throw std::runtime_error("pipe failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) {
        posix_spawn_file_actions_addclose(&actions, fd);
    }
    auto envStrings = mergedEnvironment(environment);
    std::vector<char*> envp;
    for (auto& entry : envStrings) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> argumentStrings{executable};
    argumentStrings.insert(argumentStrings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& argument : argumentStrings) argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    int spawned =
        posix_spawn(&pid, executable.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    if (spawned != 0) throw std::runtime_error("cannot start " + executable);
    return {pid, in[1], out[0], err[0]};
}

int exitStatus(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Writes `text` to the program, showing its lines to `observe` first.
void send(int fd, const std::string& text, const LineObserver& observe) {
    if (observe) {
        for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
             start = end + 1) {
            observe(text.substr(start, end - start), true);
        }
    }
    feed(fd, text);
}

ProcessResult converse(const std::string& executable, const std::string& input,
                       const std::vector<Exchange>& exchanges,
                       const std::map<std::string, std::string>& environment,
                       const std::vector<std::string>& arguments, double lingerSeconds,
                       const LineObserver& observe = {}) {
    Child child = start(executable, environment, arguments);
    ProcessResult result;
    Output output(observe);
    std::thread writer([&] {
        send(child.in, input, observe);
        for (const Exchange& exchange : exchanges) {
            output.waitFor(exchange.awaited, exchange.occurrences);
            if (exchange.before) exchange.before();
            send(child.in, exchange.reply, observe);
        }
        std::this_thread::sleep_for(std::chrono::duration<double>(lingerSeconds));
        ::close(child.in);
    });
    std::thread errors([&] {
        drain(child.err,
              [&](const char* data, std::size_t size) { result.err.append(data, size); });
    });
    drain(child.out, [&](const char* data, std::size_t size) { output.append(data, size); });
    output.close();
    writer.join();
    errors.join();
    result.out = output.take();
    result.exitStatus = exitStatus(child.pid);
    return result;
}

}  // namespace

std::vector<std::string> ProcessResult::lines() const {
    std::vector<std::string> result;
    std::size_t start = 0;
    while (start < out.size()) {
        std::size_t end = out.find('\n', start);
        if (end == std::string::npos) end = out.size();
        result.push_back(out.substr(start, end - start));
        start = end + 1;
    }
    return result;
}

ProcessResult runProcess(const std::string& executable, const std::string& input,
                         const std::map<std::string, std::string>& environment,
                         const std::vector<std::string>& arguments) {
    return runProcessUntil(executable, input, "", environment, arguments);
}

ProcessResult runProcessUntil(const std::string& executable, const std::string& input,
                              const std::string& outputMarker,
                              const std::map<std::string, std::string>& environment,
                              const std::vector<std::string>& arguments, double lingerSeconds) {
    std::vector<Exchange> exchanges;
    if (!outputMarker.empty()) exchanges.push_back({outputMarker, ""});
    return converse(executable, input, exchanges, environment, arguments, lingerSeconds);
}

ProcessResult runDialogue(const std::string& executable, const std::string& input,
                          const std::vector<Exchange>& exchanges,
                          const std::map<std::string, std::string>& environment,
                          const LineObserver& observe) {
    return converse(executable, input, exchanges, environment, {}, 0, observe);
}

StalledPeer::StalledPeer(const std::string& executable, std::string input,
                         const std::map<std::string, std::string>& environment)
    : input_(std::move(input)) {
    Child child = start(executable, environment, {});
    pid_ = child.pid;
    out_ = child.out;
    writer_ = std::thread([this, in = child.in] {
        // In pieces, so that waitUntilInputStops can tell writes that end from one that hangs.
        constexpr std::size_t piece = 64 * 1024;
        for (std::size_t at = 0; at < input_.size(); at += piece) {
            feed(in, std::string_view(input_).substr(at, piece));
            std::lock_guard lock(mutex_);
            written_ = std::min(at + piece, input_.size());
            wrote_.notify_all();
        }
        ::close(in);
    });
    errors_ = std::thread([this, err = child.err] {
        drain(err, [this](const char* data, std::size_t size) { err_.append(data, size); });
    });
}

StalledPeer::~StalledPeer() {
    if (writer_.joinable()) finish();
}

void StalledPeer::waitUntilInputStops(double quietSeconds) {
    std::unique_lock lock(mutex_);
    while (written_ < input_.size()) {
        const std::size_t before = written_;
        if (!wrote_.wait_for(lock, std::chrono::duration<double>(quietSeconds),
                             [&] { return written_ != before; })) {
            return;
        }
    }
}

std::size_t StalledPeer::peakResidentKiB() const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    for (std::string key; status >> key;) {
        if (key == "VmHWM:") {
            std::size_t kib = 0;
            status >> kib;
            return kib;
        }
    }
    throw std::runtime_error("no VmHWM for process " + std::to_string(pid_));
}

ProcessResult StalledPeer::finish() {
    ProcessResult result;
    drain(out_, [&](const char* data, std::size_t size) { result.out.append(data, size); });
    writer_.join();
    errors_.join();
    result.err = std::move(err_);
    result.exitStatus = exitStatus(pid_);
    return result;
}

std::string builtProgram(const std::string& relativePath) {
    const char* buildDir = std::getenv("LUMORA_BUILD_DIR");
    if (buildDir == nullptr) throw std::runtime_error("LUMORA_BUILD_DIR is not set");
    return std::string(buildDir) + "/" + relativePath;
}

}  // namespace lumora::testing
