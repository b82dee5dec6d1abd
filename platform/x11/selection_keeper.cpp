#include "platform/x11/selection_keeper.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <thread>

#include "runtime/file_descriptor.h"

extern char** environ;

namespace lumora::x11 {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* keeperName = "lumora-clipboard-keeper";

bool makePipe(FileDescriptor& read, FileDescriptor& write) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return false;
    read = FileDescriptor(ends[0]);
    write = FileDescriptor(ends[1]);
    return true;
}

int millisecondsUntil(Clock::time_point deadline) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::max<decltype(left)>(left, 0));
}

// Waits until `fd` is ready for `events`; false at the deadline.
bool ready(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd request{fd, events, 0};
        int result = ::poll(&request, 1, millisecondsUntil(deadline));
        if (result > 0) return true;
        if (result == 0 || errno != EINTR) return false;
    }
}

bool writeAll(int fd, const std::string& bytes, Clock::time_point deadline) {
    ::fcntl(fd, F_SETFL, O_NONBLOCK);
    for (std::size_t sent = 0; sent < bytes.size();) {
        if (!ready(fd, POLLOUT, deadline)) return false;
        ssize_t wrote = ::write(fd, bytes.data() + sent, bytes.size() - sent);
        if (wrote < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (wrote <= 0) return false;
        sent += static_cast<std::size_t>(wrote);
    }
    return true;
}

// The keeper's first process forks the detached one and exits at once; a keeper that does
// not is killed at the deadline, so that nothing is left behind unreaped.
void reap(pid_t pid, Clock::time_point deadline) {
    while (::waitpid(pid, nullptr, WNOHANG) == 0) {
        if (Clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace

bool handToSelectionKeeper(const std::vector<HeldSelection>& selections,
                           std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    std::error_code failed;
    std::filesystem::path program =
        std::filesystem::read_symlink("/proc/self/exe", failed).parent_path() / keeperName;
    if (failed) return false;
    FileDescriptor dataRead, dataWrite, ackRead, ackWrite;
    if (!makePipe(dataRead, dataWrite) || !makePipe(ackRead, ackWrite)) return false;

    // Its standard input brings the selections, its standard output says when they are
    // served; it never sees the helper's own streams, which are the app's pipes.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, dataRead.get(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, ackWrite.get(), STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::string path = program.string();
    char* argv[] = {path.data(), nullptr};
    pid_t pid = 0;
    int spawned = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return false;
    dataRead.close();
    ackWrite.close();

    bool served = writeAll(dataWrite.get(), encodeHeldSelections(selections), deadline);
    dataWrite.close();
    char ack = 0;
    served =
        served && ready(ackRead.get(), POLLIN, deadline) && ::read(ackRead.get(), &ack, 1) == 1;
    reap(pid, deadline);
    return served;
}

}  // namespace lumora::x11
