#include "tests/support/test_desktop.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/res.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>

#include "runtime/file_descriptor.h"

extern char** environ;

namespace lumora::test_support {

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr auto startLimit = std::chrono::seconds(10);
constexpr auto editorLimit = std::chrono::seconds(10);
// Office suites and browsers start in seconds even on an idle machine.
constexpr auto applicationLimit = std::chrono::seconds(30);
constexpr auto toolLimit = std::chrono::seconds(3);
constexpr auto playbackLimit = std::chrono::seconds(30);
constexpr auto stopGrace = std::chrono::seconds(2);
constexpr auto pollInterval = std::chrono::milliseconds(10);
constexpr auto readyInterval = std::chrono::milliseconds(20);
// The descriptor on which Xvfb and dbus-daemon are told to report where they listen.
constexpr int reportFd = 3;
// Inherited variables that would keep the accessibility bridge out of GTK programs, or lead it
// to the developer's own accessibility bus.
const char* const strayVariables[] = {"NO_AT_BRIDGE", "GTK_MODULES", "AT_SPI_BUS_ADDRESS"};
// The sound server's one sink; its monitor is the microphone everybody on the desktop hears.
const std::string speakerSink = "lumora_speaker";

struct Pipe {
    FileDescriptor read, write;
};

Pipe makePipe() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("test desktop: pipe failed");
    return {FileDescriptor(ends[0]), FileDescriptor(ends[1])};
}

FileDescriptor openForWriting(const fs::path& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("test desktop: cannot create " + path.string());
    return FileDescriptor(fd);
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string trimmed(std::string text) {
    auto isSpace = [](char c) { return c == ' ' || c == '\n' || c == '\t' || c == '\r'; };
    while (!text.empty() && isSpace(text.back())) text.pop_back();
    std::size_t start = 0;
    while (start < text.size() && isSpace(text[start])) ++start;
    return text.substr(start);
}

std::string failure(const std::string& what, const fs::path& log) {
    return "test desktop: " + what + "; output of " + log.filename().string() + ":\n" +
           readFile(log);
}

// Polls `done` until it holds or the deadline passes.
template <class Predicate>
bool waitUntil(Clock::time_point deadline, Predicate done,
               std::chrono::milliseconds interval = pollInterval) {
    while (!done()) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(interval);
    }
    return true;
}

std::vector<char*> pointersTo(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (auto& text : strings) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Makes `fd` the child's descriptor `target`, surviving exec.
void inheritAs(int fd, int target) {
    if (fd == target) {
        ::fcntl(fd, F_SETFD, 0);
    } else {
        ::dup2(fd, target);
    }
}

struct Launch {
    std::vector<std::string> arguments;
    std::vector<std::string> environment;
    int output = -1;    // standard output and standard error
    int reported = -1;  // passed on as descriptor 3
};

// Starts a program in a process group of its own, so that stopping it also stops whatever it
// started (dbus-daemon's activated services stay in its group). The kernel kills it when this
// process dies without running destructors: the death signal belongs to the thread that
// forks, which is the test's main thread in practice.
pid_t launch(Launch request) {
    auto argv = pointersTo(request.arguments);
    auto envp = pointersTo(request.environment);
    FileDescriptor nothing(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    pid_t parent = ::getpid();
    pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("test desktop: fork failed");
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        ::setpgid(0, 0);
        ::dup2(nothing.get(), STDIN_FILENO);
        ::dup2(request.output, STDOUT_FILENO);
        ::dup2(request.output, STDERR_FILENO);
        if (request.reported >= 0) inheritAs(request.reported, reportFd);
        // Descriptors other threads of the test opened without close-on-exec must not leak
        // into a long-lived server, where they would keep pipes from ever reaching their end.
        ::close_range(request.reported >= 0 ? reportFd + 1 : reportFd, ~0U, 0);
        ::execvpe(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::setpgid(pid, pid);  // also here, so that the group exists before the child runs
    return pid;
}

// Whether the process ended, leaving it to be reaped.
bool exited(pid_t pid) {
    siginfo_t info{};
    int result = ::waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT);
    return result != 0 || info.si_pid == pid;
}

void reap(pid_t pid) {
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

void stopGroup(pid_t leader) {
    ::kill(-leader, SIGTERM);
    waitUntil(Clock::now() + stopGrace, [&] { return exited(leader); });
    // Before the leader is reaped its id cannot be reused, so the group is still this one.
    ::kill(-leader, SIGKILL);
    reap(leader);
}

// Appends what arrives on `fd` to `text` until end of file or `enough`, which it returns
// true for, or until the deadline.
template <class Enough>
bool readUntil(int fd, std::string& text, Clock::time_point deadline, Enough enough) {
    char buffer[4096];
    while (!enough()) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd request{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&request, 1, static_cast<int>(left.count())) == 0) {
            return false;
        }
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return true;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return true;
}

struct ToolResult {
    bool succeeded = false;
    std::string output;  // standard output and standard error
};

ToolResult runTool(std::vector<std::string> arguments, std::vector<std::string> environment,
                   Clock::duration limit = toolLimit) {
    Pipe output = makePipe();
    pid_t pid = launch({std::move(arguments), std::move(environment), output.write.get()});
    output.write.close();
    ToolResult result;
    bool ended =
        readUntil(output.read.get(), result.output, Clock::now() + limit, [] { return false; });
    if (!ended) ::kill(-pid, SIGKILL);  // it hung: the caller's poll tries again
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return result;
}

std::uint32_t windowId(const std::string& text) {
    return static_cast<std::uint32_t>(std::strtoul(text.c_str(), nullptr, 0));
}

fs::path makeFolder() {
    std::string pattern = (fs::temp_directory_path() / "lumora-desktop-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("test desktop: cannot create a folder in " +
                                 fs::temp_directory_path().string());
    }
    return pattern;
}

// The variables of a user's session that has nothing in common with the developer's own, so
// that settings, caches and sockets of parallel test processes never meet.
std::map<std::string, std::string> privateVariables(const fs::path& folder) {
    fs::path home = folder / "home";
    fs::path runtime = folder / "run";
    std::map<std::string, std::string> variables{
        {"HOME", home},
        {"XDG_RUNTIME_DIR", runtime},
        {"XDG_CONFIG_HOME", home / ".config"},
        {"XDG_DATA_HOME", home / ".local/share"},
        {"XDG_CACHE_HOME", home / ".cache"},
        // Each GTK program starts on default settings, so mousepad restores no earlier
        // session and asks nothing before its window appears.
        {"GSETTINGS_BACKEND", "memory"},
        {"GDK_BACKEND", "x11"},
        {"LANG", "C.UTF-8"},
        {"LC_ALL", "C.UTF-8"},
        // What desktop sessions set so that Qt programs join the accessibility bus.
        {"QT_ACCESSIBILITY", "1"},
    };
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
        fs::create_directories(variables[name]);
    }
    fs::create_directory(runtime);
    fs::permissions(runtime, fs::perms::owner_all, fs::perm_options::replace);
    return variables;
}

bool isStray(const std::string& name) {
    for (const char* stray : strayVariables) {
        if (name == stray) return true;
    }
    return false;
}

}  // namespace

struct TestDesktop::Processes {
    fs::path folder = makeFolder();
    std::map<std::string, std::string> variables = privateVariables(folder);
    // In the order they started: the X server, the session bus, the window manager, the sound
    // server; 0 once stopped.
    std::vector<pid_t> services;
    std::mutex mutex;  // guards what follows
    std::vector<pid_t> editors;
    int notes = 0;

    std::vector<std::string> environment() const {
        std::map<std::string, std::string> merged;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            std::string text(*entry);
            auto equals = text.find('=');
            if (equals == std::string::npos || isStray(text.substr(0, equals))) continue;
            merged[text.substr(0, equals)] = text.substr(equals + 1);
        }
        for (const auto& [name, value] : variables) merged[name] = value;
        std::vector<std::string> entries;
        for (const auto& [name, value] : merged) entries.push_back(name + "=" + value);
        return entries;
    }

    ToolResult tool(std::vector<std::string> arguments) const {
        return runTool(std::move(arguments), environment());
    }

    pid_t startService(std::vector<std::string> arguments, const std::string& logName,
                       int reported = -1) {
        FileDescriptor log = openForWriting(folder / logName);
        pid_t pid = launch({std::move(arguments), environment(), log.get(), reported});
        services.push_back(pid);
        return pid;
    }

    // Starts a server that writes one line saying where it listens on descriptor 3.
    std::string startReportingService(std::vector<std::string> arguments,
                                      const std::string& logName, Clock::time_point deadline) {
        Pipe report = makePipe();
        std::string program = arguments.front();
        startService(std::move(arguments), logName, report.write.get());
        report.write.close();
        std::string line;
        readUntil(report.read.get(), line, deadline,
                  [&] { return line.find('\n') != std::string::npos; });
        if (line.find('\n') == std::string::npos) {
            throw std::runtime_error(failure(program + " reported no address", folder / logName));
        }
        return trimmed(line);
    }

    void startDisplay(Clock::time_point deadline) {
        // -displayfd lets the server pick a free display, so parallel test processes never
        // collide on one.
        std::string number =
            startReportingService({"Xvfb", "-displayfd", std::to_string(reportFd), "-screen", "0",
                                   "1280x1024x24", "-nolisten", "tcp", "-noreset"},
                                  "xvfb.log", deadline);
        variables["DISPLAY"] = ":" + number;
    }

    void startSessionBus(Clock::time_point deadline) {
        // Started after the display is known: the services it activates inherit its
        // environment, and the accessibility bus launcher needs DISPLAY.
        std::string socket = "unix:path=" + (folder / "run" / "bus").string();
        variables["DBUS_SESSION_BUS_ADDRESS"] = startReportingService(
            {"dbus-daemon", "--session", "--nofork", "--print-address=" + std::to_string(reportFd),
             "--address=" + socket},
            "dbus.log", deadline);
    }

    std::vector<std::string> sessionCall(const std::string& destination, const std::string& path,
                                         const std::string& method) const {
        return {"dbus-send",
                "--session",
                "--print-reply=literal",
                "--reply-timeout=2000",
                "--dest=" + destination,
                path,
                method};
    }

    // Switches assistive technologies on, as a user who relies on them has it: applications
    // and the backend then find the accessibility bus, which its launcher starts when asked.
    void enableAccessibility(Clock::time_point deadline) {
        auto enable =
            sessionCall("org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties.Set");
        enable.insert(enable.end(),
                      {"string:org.a11y.Status", "string:IsEnabled", "variant:boolean:true"});
        ToolResult enabled = tool(enable);
        if (!enabled.succeeded) {
            throw std::runtime_error(failure(
                "accessibility could not be enabled: " + enabled.output, folder / "dbus.log"));
        }
        std::string accessibilityBus;
        bool answered = waitUntil(deadline, [&] {
            ToolResult address =
                tool(sessionCall("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus.GetAddress"));
            accessibilityBus = trimmed(address.output);
            return address.succeeded && !accessibilityBus.empty();
        });
        if (!answered) {
            throw std::runtime_error(
                failure("the accessibility bus gave no address", folder / "dbus.log"));
        }
        startRegistry(accessibilityBus, deadline);
    }

    // Applications register with the registry daemon; started now, it is there before the
    // first editor instead of being activated by it.
    void startRegistry(const std::string& accessibilityBus, Clock::time_point deadline) const {
        bool answered = waitUntil(deadline, [&] {
            return tool({"dbus-send", "--bus=" + accessibilityBus, "--print-reply",
                         "--reply-timeout=2000", "--dest=org.a11y.atspi.Registry",
                         "/org/a11y/atspi/accessible/root",
                         "org.a11y.atspi.Accessible.GetChildren"})
                .succeeded;
        });
        if (!answered) {
            throw std::runtime_error(
                failure("the accessibility registry did not answer", folder / "dbus.log"));
        }
    }

    pid_t startWindowManager() { return startService({"openbox", "--sm-disable"}, "openbox.log"); }

    void awaitWindowManager(pid_t windowManager, Clock::time_point deadline) const {
        bool managing = waitUntil(deadline, [&] {
            ToolResult check = tool({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"});
            return exited(windowManager) ||
                   (check.succeeded && check.output.find("window id #") != std::string::npos);
        });
        if (!managing || exited(windowManager)) {
            throw std::runtime_error(
                failure("openbox did not take over the screen", folder / "openbox.log"));
        }
    }

    // A sound server of the desktop's own, with one speaker sink and no hardware: what is
    // played into the speaker is what the microphone (the speaker's monitor) hears. A
    // microphone never takes back what it has heard, but a sink rewinds the silence it has
    // rendered ahead when a stream starts playing, and its monitor would lose the first moment
    // of the sound: so the speaker does not rewind.
    void startSoundServer() {
        fs::path runtime = folder / "run" / "pulse";
        fs::create_directory(runtime);
        variables["PULSE_RUNTIME_PATH"] = runtime;
        variables["PULSE_SERVER"] = "unix:" + (runtime / "native").string();
        startService({"pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n",
                      "--use-pid-file=no", "--realtime=no", "--high-priority=no",
                      "--load=module-native-protocol-unix socket=" + (runtime / "native").string(),
                      "--load=module-null-sink sink_name=" + speakerSink +
                          " rate=48000 channels=2 norewinds=1"},
                     "pulseaudio.log");
    }

    // Makes the speaker's monitor the default source, which succeeds once the server answers.
    void awaitSoundServer(Clock::time_point deadline) const {
        bool answered = waitUntil(deadline, [&] {
            return tool({"pactl", "set-default-source", speakerSink + ".monitor"}).succeeded;
        });
        if (!answered) {
            throw std::runtime_error(
                failure("the sound server did not answer", folder / "pulseaudio.log"));
        }
    }

    void start() {
        auto deadline = Clock::now() + startLimit;
        startDisplay(deadline);
        startSessionBus(deadline);
        pid_t windowManager = startWindowManager();  // comes up while the buses do
        startSoundServer();                          // and so does this
        enableAccessibility(deadline);
        awaitWindowManager(windowManager, deadline);
        awaitSoundServer(deadline);
    }

    void stop() {
        {
            std::lock_guard lock(mutex);
            for (pid_t editor : editors) stopGroup(editor);
            editors.clear();
        }
        for (auto service = services.rbegin(); service != services.rend(); ++service) {
            if (*service != 0) stopGroup(*service);
        }
        services.clear();
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    // A unique name for the next editor's file and log.
    std::string nextNoteName() {
        std::lock_guard lock(mutex);
        return "note-" + std::to_string(++notes);
    }

    pid_t startTerminal(const fs::path& file, const fs::path& log) {
        FileDescriptor output = openForWriting(log);
        // Without -icanon the terminal would hold pasted text back until a line ends.
        pid_t pid = launch({{"xterm", "-T", file.filename().string(), "-xrm",
                             "XTerm*VT100.translations: #override Ctrl<Key>v: "
                             "insert-selection(CLIPBOARD)",
                             "-e", "sh", "-c", "stty -icanon && exec cat > \"$0\"", file.string()},
                            environment(),
                            output.get()});
        std::lock_guard lock(mutex);
        editors.push_back(pid);
        return pid;
    }

    pid_t startEditor(const fs::path& file, const fs::path& log) {
        FileDescriptor output = openForWriting(log);
        pid_t pid =
            launch({{"mousepad", "--disable-server", file.string()}, environment(), output.get()});
        std::lock_guard lock(mutex);
        editors.push_back(pid);
        return pid;
    }

    // Starts `application` on `document` (a page of a browser's own, a file of an editor's);
    // each keeps its settings and profile in a folder of its own.
    pid_t startApplication(Application application, const fs::path& document, const fs::path& log) {
        std::string profile = (folder / "profiles" / document.stem()).string();
        std::vector<std::string> arguments;
        std::vector<std::string> variables = environment();
        switch (application) {
            case Application::mousepad:
                arguments = {"mousepad", "--disable-server", document};
                break;
            case Application::featherpad:
                arguments = {"featherpad", "--standalone", document};
                break;
            case Application::textEditor:
                arguments = {"gnome-text-editor", "--standalone", "--ignore-session", document};
                break;
            case Application::writer:
                // Its own X11 drawing has no accessibility; the GTK one, which desktops pick, has.
                variables.push_back("SAL_USE_VCLPLUGIN=gtk3");
                arguments = {"soffice",
                             "--writer",
                             "--norestore",
                             "--nologo",
                             "-env:UserInstallation=file://" + profile,
                             document};
                break;
            case Application::chromium:
                arguments = {"chromium",
                             "--no-sandbox",
                             "--user-data-dir=" + profile,
                             "--no-first-run",
                             "--disable-gpu",
                             "--force-renderer-accessibility",
                             "--disable-background-networking",
                             "--disable-component-update",
                             "--disable-sync",
                             "--disable-quic",
                             "--password-store=basic",
                             "file://" + document.string()};
                break;
            case Application::firefox:
                fs::create_directories(profile);
                // No first-run pages, and no connections to a network that is not there.
                std::ofstream(fs::path(profile) / "user.js")
                    << "user_pref(\"browser.startup.homepage_override.mstone\", \"ignore\");\n"
                       "user_pref(\"datareporting.policy.dataSubmissionEnabled\", false);\n"
                       "user_pref(\"browser.aboutwelcome.enabled\", false);\n"
                       "user_pref(\"network.connectivity-service.enabled\", false);\n";
                variables.push_back("GNOME_ACCESSIBILITY=1");
                arguments = {"firefox-esr", "--no-remote", "--profile", profile,
                             "file://" + document.string()};
                break;
        }
        FileDescriptor output = openForWriting(log);
        pid_t pid = launch({std::move(arguments), std::move(variables), output.get()});
        std::lock_guard lock(mutex);
        editors.push_back(pid);
        return pid;
    }

    std::uint32_t visibleWindowOf(pid_t pid) const {
        ToolResult search =
            tool({"xdotool", "search", "--onlyvisible", "--pid", std::to_string(pid)});
        return search.succeeded ? windowId(search.output) : 0;
    }

    // Whether the window is frontmost; when it is not, asks the window manager to raise it,
    // which openbox may not have done by itself when another window was used more recently.
    bool activate(std::uint32_t window) const {
        ToolResult active = tool({"xdotool", "getactivewindow"});
        if (active.succeeded && windowId(active.output) == window) return true;
        tool({"xdotool", "windowactivate", std::to_string(window)});
        return false;
    }

    bool windowExists(std::uint32_t window) const {
        return tool({"xdotool", "getwindowname", std::to_string(window)}).succeeded;
    }

    // Waits for one stage of an editor's start; throws naming it, with the editor's log.
    template <class Predicate>
    void awaitEditor(const Editor& editor, const std::string& stage, Clock::time_point deadline,
                     Predicate done, std::chrono::milliseconds interval = pollInterval) {
        fs::path log = fs::path(editor.path).replace_extension(".log");
        bool reached = waitUntil(
            deadline, [&] { return exited(editor.pid) || done(); }, interval);
        if (reached && !exited(editor.pid)) return;
        std::string reason = exited(editor.pid) ? "it exited" : "timed out";
        stopEditor(editor.pid);
        throw std::runtime_error(failure(
            "the application on " + editor.path + " " + reason + " waiting until " + stage, log));
    }

    void stopService(std::size_t index) {
        if (index >= services.size() || services[index] == 0) return;
        stopGroup(services[index]);
        services[index] = 0;
    }

    void stopEditor(pid_t pid) {
        std::lock_guard lock(mutex);
        auto found = std::find(editors.begin(), editors.end(), pid);
        if (found == editors.end()) return;
        editors.erase(found);
        stopGroup(pid);
    }
};

TestDesktop& TestDesktop::shared() {
    static TestDesktop desktop;
    return desktop;
}

TestDesktop::TestDesktop() : processes_(new Processes) {
    try {
        processes_->start();
    } catch (...) {
        processes_->stop();
        delete processes_;
        throw;
    }
}

TestDesktop::~TestDesktop() {
    processes_->stop();
    delete processes_;
}

void TestDesktop::enter() {
    for (const auto& [name, value] : processes_->variables) {
        ::setenv(name.c_str(), value.c_str(), 1);
    }
    for (const char* stray : strayVariables) ::unsetenv(stray);
}

std::vector<std::string> TestDesktop::environment() const {
    return processes_->environment();
}

TestDesktop::Editor TestDesktop::openEditor(const std::string& text,
                                            const std::function<bool(const Editor&)>& ready) {
    auto deadline = Clock::now() + editorLimit;
    std::string name = processes_->nextNoteName();
    Editor editor;
    editor.path = (processes_->folder / (name + ".txt")).string();
    std::ofstream(editor.path, std::ios::binary) << text;
    editor.pid = processes_->startEditor(editor.path, processes_->folder / (name + ".log"));
    processes_->awaitEditor(editor, "its window is mapped", deadline, [&] {
        editor.window = processes_->visibleWindowOf(editor.pid);
        return editor.window != 0;
    });
    processes_->awaitEditor(editor, "its window is active", deadline,
                            [&] { return processes_->activate(editor.window); });
    editor.title = trimmed(
        processes_->tool({"xdotool", "getwindowname", std::to_string(editor.window)}).output);
    if (ready) {
        processes_->awaitEditor(
            editor, "it is ready", deadline, [&] { return ready(editor); }, readyInterval);
    }
    return editor;
}

TestDesktop::Editor TestDesktop::openTerminal() {
    auto deadline = Clock::now() + editorLimit;
    std::string name = processes_->nextNoteName();
    Editor terminal;
    terminal.path = (processes_->folder / (name + ".typed")).string();
    terminal.pid = processes_->startTerminal(terminal.path, processes_->folder / (name + ".log"));
    processes_->awaitEditor(terminal, "its window is mapped", deadline, [&] {
        terminal.window = processes_->visibleWindowOf(terminal.pid);
        return terminal.window != 0;
    });
    processes_->awaitEditor(terminal, "its window is active", deadline,
                            [&] { return processes_->activate(terminal.window); });
    terminal.title = fs::path(terminal.path).filename().string();
    return terminal;
}

pid_t TestDesktop::copyToClipboard(const std::string& target, const std::string& bytes) {
    return copyToSelection("clipboard", target, bytes);
}

std::optional<std::string> TestDesktop::pasteFromClipboard(const std::string& target) {
    return pasteFromSelection("clipboard", target);
}

void TestDesktop::stopDisplay() {
    processes_->stopService(0);
}

void TestDesktop::stopSessionBus() {
    processes_->stopService(1);
}

void TestDesktop::stopSoundServer() {
    processes_->stopService(3);
}

void TestDesktop::play(const std::string& wavPath) {
    ToolResult played = runTool({"paplay", "--device=" + speakerSink, wavPath},
                                processes_->environment(), playbackLimit);
    if (!played.succeeded) {
        throw std::runtime_error("test desktop: paplay could not play " + wavPath + ": " +
                                 played.output);
    }
}

void TestDesktop::pressKeys(const Editor& editor, const std::vector<std::string>& keys) {
    std::vector<std::string> command = {"xdotool", "windowactivate",
                                        "--sync",  std::to_string(editor.window),
                                        "key",     "--clearmodifiers"};
    command.insert(command.end(), keys.begin(), keys.end());
    if (!processes_->tool(command).succeeded) {
        throw std::runtime_error("test desktop: cannot type into " + editor.path);
    }
}

void TestDesktop::keyDown(const std::string& key) {
    if (!processes_->tool({"xdotool", "keydown", key}).succeeded) {
        throw std::runtime_error("test desktop: cannot press " + key);
    }
}

void TestDesktop::keyUp(const std::string& key) {
    if (!processes_->tool({"xdotool", "keyup", key}).succeeded) {
        throw std::runtime_error("test desktop: cannot release " + key);
    }
}

void TestDesktop::holdKey(const std::string& key, double seconds) {
    // One xdotool run, so that the press lasts as long as asked, with no start-up inside it.
    std::vector<std::string> hold = {"xdotool", "keydown", key, "sleep", std::to_string(seconds),
                                     "keyup",   key};
    if (!processes_->tool(hold).succeeded) {
        throw std::runtime_error("test desktop: cannot hold " + key);
    }
}

void TestDesktop::saveScreenshot(const Editor& editor, const std::string& path) {
    if (!processes_->tool({"maim", "--hidecursor", "--window", std::to_string(editor.window), path})
             .succeeded) {
        throw std::runtime_error("test desktop: cannot take a screenshot of " + editor.path);
    }
}

std::size_t TestDesktop::windowCount(const Editor& editor) {
    ToolResult search = processes_->tool(
        {"xdotool", "search", "--onlyvisible", "--pid", std::to_string(editor.pid)});
    return static_cast<std::size_t>(std::count(search.output.begin(), search.output.end(), '\n'));
}

namespace {
// The selector polls the pointer and keyboard, so a press has to last a moment to be seen.
const std::string pressLength = "0.3";
}  // namespace

void TestDesktop::dragRegion(int x0, int y0, int x1, int y1) {
    awaitRegionSelector();
    processes_->tool({"xdotool", "mousemove", std::to_string(x0), std::to_string(y0), "sleep",
                      pressLength, "mousedown", "1", "sleep", pressLength, "mousemove",
                      std::to_string(x1), std::to_string(y1), "sleep", pressLength, "mouseup",
                      "1"});
}

void TestDesktop::abortRegionSelection() {
    awaitRegionSelector();
    processes_->tool({"xdotool", "keydown", "Escape", "sleep", pressLength, "keyup", "Escape"});
}

void TestDesktop::awaitRegionSelector() {
    bool running = waitUntil(Clock::now() + editorLimit, [&] {
        return processes_->tool({"pgrep", "-x", "maim"}).succeeded;
    });
    if (!running) throw std::runtime_error("test desktop: no region selector started");
    // It grabs the pointer once it has started.
    processes_->tool({"sleep", pressLength});
}

void TestDesktop::resizeWindow(const Editor& editor, int width, int height) {
    const std::string window = std::to_string(editor.window);
    processes_->tool(
        {"xdotool", "windowsize", "--sync", window, std::to_string(width), std::to_string(height)});
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    bool resized = waitUntil(Clock::now() + editorLimit, [&] {
        return processes_->tool({"xdotool", "getwindowgeometry", window}).output.find(size) !=
               std::string::npos;
    });
    if (!resized) throw std::runtime_error("test desktop: mousepad was not resized to " + size);
}

std::string TestDesktop::savedText(const Editor& editor) {
    pressKeys(editor, {"ctrl+s"});
    // Mousepad marks a window with unsaved changes with a leading "*".
    bool saved = waitUntil(Clock::now() + editorLimit, [&] {
        ToolResult title =
            processes_->tool({"xdotool", "getwindowname", std::to_string(editor.window)});
        return title.succeeded && !title.output.starts_with("*");
    });
    if (!saved) throw std::runtime_error("test desktop: mousepad did not save " + editor.path);
    return readFile(editor.path);
}

namespace {

bool isBrowser(TestDesktop::Application application) {
    return application == TestDesktop::Application::chromium ||
           application == TestDesktop::Application::firefox;
}

std::string escapedForHtml(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        if (c == '&') {
            escaped += "&amp;";
        } else if (c == '<') {
            escaped += "&lt;";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

// One text area holding `text`, focused with the caret at its end, on a page titled `title`.
std::string pageHolding(const std::string& title, const std::string& text) {
    return "<!doctype html><meta charset=\"utf-8\"><title>" + title +
           "</title>\n<textarea id=\"field\" rows=\"12\" cols=\"70\">" + escapedForHtml(text) +
           "</textarea>\n<script>\nconst field = document.getElementById('field');\n"
           "field.focus();\nfield.setSelectionRange(field.value.length, field.value.length);\n"
           "</script>\n";
}

}  // namespace

TestDesktop::Editor TestDesktop::openApplication(Application application, const std::string& text) {
    auto deadline = Clock::now() + applicationLimit;
    std::string name = processes_->nextNoteName();
    Editor editor;
    editor.application = application;
    editor.path =
        (processes_->folder / (name + (isBrowser(application) ? ".html" : ".txt"))).string();
    std::ofstream(editor.path, std::ios::binary)
        << (isBrowser(application) ? pageHolding(name + " page", text) : text);
    editor.pid = processes_->startApplication(application, editor.path,
                                              processes_->folder / (name + ".log"));
    // Browsers and office suites map their window from a process of their own; it is found by
    // the document's name in its title.
    const std::string shownName =
        isBrowser(application) ? name + " page" : fs::path(editor.path).filename().string();
    processes_->awaitEditor(editor, "its window is mapped", deadline, [&] {
        ToolResult search =
            processes_->tool({"xdotool", "search", "--onlyvisible", "--name", shownName});
        editor.window = search.succeeded ? windowId(search.output) : 0;
        return editor.window != 0;
    });
    processes_->awaitEditor(editor, "its window is active", deadline,
                            [&] { return processes_->activate(editor.window); });
    editor.title = trimmed(
        processes_->tool({"xdotool", "getwindowname", std::to_string(editor.window)}).output);
    // Some load the file after their window shows (GNOME Text Editor), and Writer takes keys a
    // while after it shows: keys typed before would be lost. Once the file is in, selecting its
    // first line gives other clients that line.
    const std::string firstLine = text.substr(0, text.find('\n'));
    processes_->awaitEditor(
        editor, "it shows its text", deadline,
        [&] {
            pressKeys(editor, {"ctrl+Home", "shift+End"});
            return awaitSelected(firstLine);
        },
        readyInterval);
    pressKeys(editor, {"ctrl+End"});
    return editor;
}

void TestDesktop::switchTo(const Editor& editor) {
    if (!processes_->tool({"xdotool", "windowactivate", "--sync", std::to_string(editor.window)})
             .succeeded) {
        throw std::runtime_error("test desktop: cannot switch to " + editor.path);
    }
}

std::string TestDesktop::shownText(const Editor& editor) {
    // Qt hands on no selection made from the keyboard, so the text is copied.
    const std::string sentinel = "\x01 nothing copied yet";
    copyToClipboard("UTF8_STRING", sentinel);
    pressKeys(editor, {"ctrl+a", "ctrl+c", "ctrl+End"});
    std::string shown;
    waitUntil(Clock::now() + toolLimit, [&] {
        shown = pasteFromClipboard("UTF8_STRING").value_or(sentinel);
        return shown != sentinel;
    });
    return shown == sentinel ? "" : shown;
}

void TestDesktop::closeEditor(const Editor& editor) {
    processes_->stopEditor(editor.pid);
    bool gone = waitUntil(Clock::now() + stopGrace,
                          [&] { return !processes_->windowExists(editor.window); });
    if (!gone) {
        throw std::runtime_error("test desktop: the window of the application on " + editor.path +
                                 " outlived it");
    }
}

TestDesktop::Editor TestDesktop::openTerminalEmulator(const std::string& program) {
    auto deadline = Clock::now() + editorLimit;
    std::string name = processes_->nextNoteName();
    Editor terminal;
    terminal.path = (processes_->folder / (name + ".typed")).string();
    terminal.title = name;
    FileDescriptor output = openForWriting(processes_->folder / (name + ".log"));
    // Without -icanon the terminal would hold pasted text back until a line ends. lxterminal
    // would otherwise hand the window to an instance already running.
    std::vector<std::string> command = {program, "-T", name};
    if (program == "lxterminal") command.push_back("--no-remote");
    command.insert(command.end(),
                   {"-e", "sh", "-c", "stty -icanon && exec cat > \"$0\"", terminal.path});
    terminal.pid = launch({command, processes_->environment(), output.get()});
    {
        std::lock_guard lock(processes_->mutex);
        processes_->editors.push_back(terminal.pid);
    }
    processes_->awaitEditor(terminal, "its window is mapped", deadline, [&] {
        terminal.window = processes_->visibleWindowOf(terminal.pid);
        return terminal.window != 0;
    });
    processes_->awaitEditor(terminal, "its window is active", deadline,
                            [&] { return processes_->activate(terminal.window); });
    // cat has opened its file once the shell has run.
    processes_->awaitEditor(terminal, "its program runs", deadline,
                            [&] { return fs::exists(terminal.path); });
    return terminal;
}

pid_t TestDesktop::copyToSelection(const std::string& selection, const std::string& target,
                                   const std::string& bytes) {
    fs::path file = processes_->folder / (processes_->nextNoteName() + ".clip");
    std::ofstream(file, std::ios::binary) << bytes;
    FileDescriptor quiet(::open("/dev/null", O_WRONLY | O_CLOEXEC));
    // xclip forks a server of its own and returns; the server stays in the process group of
    // the client started here, and ends when another client takes the selection.
    pid_t client = launch({{"xclip", "-selection", selection, "-t", target, "-i", file.string()},
                           processes_->environment(),
                           quiet.get()});
    reap(client);
    bool serving = waitUntil(Clock::now() + toolLimit,
                             [&] { return pasteFromSelection(selection, target) == bytes; });
    if (!serving) throw std::runtime_error("test desktop: xclip did not take " + selection);
    return client;
}

std::optional<std::string> TestDesktop::pasteFromSelection(const std::string& selection,
                                                           const std::string& target) {
    ToolResult pasted = processes_->tool({"xclip", "-selection", selection, "-o", "-t", target});
    if (!pasted.succeeded) return std::nullopt;
    return pasted.output;
}

void TestDesktop::startClipboardManager() {
    processes_->startService({"xfsettingsd", "--disable-wm-check"}, "xfsettingsd.log");
    bool managing = waitUntil(Clock::now() + startLimit, [&] {
        return selectionOwnerProgram("CLIPBOARD_MANAGER") == "xfsettingsd";
    });
    if (!managing) {
        throw std::runtime_error(failure("xfsettingsd took no CLIPBOARD_MANAGER",
                                         processes_->folder / "xfsettingsd.log"));
    }
}

namespace {

template <class Answer>
std::unique_ptr<Answer, void (*)(void*)> owned(Answer* answer) {
    return {answer, std::free};
}

// The process of the client that owns the selection, through the X-Resource extension.
std::optional<pid_t> selectionOwnerPid(xcb_connection_t* connection, const std::string& selection) {
    auto atom = owned(xcb_intern_atom_reply(
        connection,
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(selection.size()),
                        selection.c_str()),
        nullptr));
    if (!atom) return std::nullopt;
    auto owner = owned(xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, atom->atom), nullptr));
    if (!owner || owner->owner == XCB_NONE) return std::nullopt;
    // The server knows a client by any of its windows.
    xcb_res_client_id_spec_t spec{owner->owner, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    auto ids = owned(xcb_res_query_client_ids_reply(
        connection, xcb_res_query_client_ids(connection, 1, &spec), nullptr));
    if (!ids || xcb_res_query_client_ids_ids_length(ids.get()) == 0) return std::nullopt;
    xcb_res_client_id_value_iterator_t id = xcb_res_query_client_ids_ids_iterator(ids.get());
    if (xcb_res_client_id_value_value_length(id.data) != 1) return std::nullopt;
    return static_cast<pid_t>(*xcb_res_client_id_value_value(id.data));
}

}  // namespace

std::optional<std::string> TestDesktop::selectionOwnerProgram(const std::string& selection) {
    xcb_connection_t* connection =
        xcb_connect(processes_->variables.at("DISPLAY").c_str(), nullptr);
    std::optional<pid_t> pid = selectionOwnerPid(connection, selection);
    xcb_disconnect(connection);
    if (!pid) return std::nullopt;
    std::error_code unreadable;
    fs::path program = fs::read_symlink("/proc/" + std::to_string(*pid) + "/exe", unreadable);
    if (unreadable) return std::nullopt;
    return program.filename().string();
}

bool TestDesktop::awaitSelected(const std::string& expected) {
    return waitUntil(Clock::now() + toolLimit, [&] {
        return processes_->tool({"xclip", "-selection", "primary", "-o"}).output == expected;
    });
}

TestDesktop::Geometry TestDesktop::windowGeometry(const Editor& editor) {
    ToolResult shell = processes_->tool(
        {"xdotool", "getwindowgeometry", "--shell", std::to_string(editor.window)});
    if (!shell.succeeded) {
        throw std::runtime_error("test desktop: no geometry for the window of " + editor.path);
    }
    auto field = [&](const std::string& key) {
        std::size_t at = shell.output.find(key + "=");
        return at == std::string::npos ? 0 : std::atoi(shell.output.c_str() + at + key.size() + 1);
    };
    return {field("X"), field("Y"), field("WIDTH"), field("HEIGHT")};
}

}  // namespace lumora::test_support
