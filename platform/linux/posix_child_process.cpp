#include "platform/linux/posix_child_process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

#include "runtime/error.h"

extern char** environ;

namespace lumora::platform {

namespace {

// How long a process destroyed while running has to end after SIGTERM before it is killed.
constexpr std::chrono::seconds terminationGrace{2};

// What a wait that could not tell how the child ended reports: a failure, never success.
constexpr int unknownStatus = 1;

Error cannotStart(const std::string& executable, int code) {
    return Error("NSPOSIXErrorDomain", code,
                 "Cannot start “" + executable + "”: " + std::strerror(code));
}

// The attributes every child gets: no blocked signals, and the default action for SIGPIPE,
// which this process ignores (the setting would otherwise be inherited across exec).
class SpawnAttributes {
  public:
    explicit SpawnAttributes(short extraFlags) {
        ::posix_spawnattr_init(&attributes_);
        sigset_t none;
        sigemptyset(&none);
        ::posix_spawnattr_setsigmask(&attributes_, &none);
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        ::posix_spawnattr_setsigdefault(&attributes_, &defaults);
        ::posix_spawnattr_setflags(&attributes_,
                                   POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | extraFlags);
    }
    ~SpawnAttributes() { ::posix_spawnattr_destroy(&attributes_); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;

    const posix_spawnattr_t* get() const { return &attributes_; }

  private:
    posix_spawnattr_t attributes_;
};

// glibc's posix_spawnp reports a program that cannot be executed as its result, so a missing
// executable is an error here rather than a child that exits at once.
pid_t spawn(const std::string& executable, const std::vector<std::string>& arguments,
            short extraFlags) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(executable.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    SpawnAttributes attributes(extraFlags);
    pid_t pid = 0;
    int result =
        ::posix_spawnp(&pid, executable.c_str(), nullptr, attributes.get(), argv.data(), environ);
    if (result != 0) throw cannotStart(executable, result);
    return pid;
}

int statusOf(const siginfo_t& info) {
    switch (info.si_code) {
        case CLD_EXITED:
        case CLD_KILLED:
        case CLD_DUMPED:
            return info.si_status;
        default:
            return unknownStatus;
    }
}

}  // namespace

PosixChildProcess::PosixChildProcess(std::string executable, std::vector<std::string> arguments)
    : executable_(std::move(executable)), arguments_(std::move(arguments)) {}

PosixChildProcess::~PosixChildProcess() {
    {
        std::unique_lock lock(mutex_);
        // Nobody is left to be told.
        exited_ = nullptr;
        if (state_ == State::running) {
            ::kill(pid_, SIGTERM);
            if (!ended_.wait_for(lock, terminationGrace,
                                 [this] { return state_ == State::exited; })) {
                ::kill(pid_, SIGKILL);
            }
        }
    }
    if (!waiter_.joinable()) return;
    // The exit handler runs on the waiter and may drop the last reference to this process; the
    // waiter touches nothing of it after the handler returns.
    if (waiter_.get_id() == std::this_thread::get_id()) {
        waiter_.detach();
    } else {
        waiter_.join();
    }
}

void PosixChildProcess::launch() {
    std::lock_guard lock(mutex_);
    if (state_ != State::notLaunched) throw cannotStart(executable_, EALREADY);
    pid_ = spawn(executable_, arguments_, 0);
    state_ = State::running;
    waiter_ = std::thread([this] { waitForExit(); });
}

void PosixChildProcess::waitForExit() {
    siginfo_t info{};
    // WNOWAIT leaves the child a zombie, so its pid cannot be reused while terminate() may still
    // signal it; it is reaped below, under the lock that terminate() takes.
    while (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT) != 0 &&
           errno == EINTR) {
    }
    std::function<void(int)> exited;
    int status = statusOf(info);
    {
        std::lock_guard lock(mutex_);
        ::waitpid(pid_, nullptr, 0);
        state_ = State::exited;
        status_ = status;
        exited = std::exchange(exited_, nullptr);
    }
    ended_.notify_all();
    if (exited) exited(status);
}

void PosixChildProcess::whenExited(std::function<void(int status)> exited) {
    std::unique_lock lock(mutex_);
    if (state_ != State::exited) {
        exited_ = std::move(exited);
        return;
    }
    int status = status_;
    lock.unlock();
    exited(status);
}

bool PosixChildProcess::isRunning() {
    std::lock_guard lock(mutex_);
    return state_ == State::running;
}

void PosixChildProcess::terminate() {
    std::lock_guard lock(mutex_);
    if (state_ == State::running) ::kill(pid_, SIGTERM);
}

bool spawnDetached(const std::string& executable, const std::vector<std::string>& arguments) {
    pid_t pid = 0;
    try {
        pid = spawn(executable, arguments, POSIX_SPAWN_SETSID);
    } catch (const Error&) {
        return false;
    }
    std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
    return true;
}

}  // namespace lumora::platform
