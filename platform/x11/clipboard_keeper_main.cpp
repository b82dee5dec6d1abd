// lumora-clipboard-keeper: keeps the selections the helper held when it exited. Reads them
// from standard input (held_selections.h), detaches from the helper (a session of its own,
// standard streams on /dev/null, so the app's pipes close and the helper's exit status is its
// own), takes each selection, says so with one byte on the standard output it was given, and
// serves them until other clients have taken every one, or the display goes away.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/x11/held_selections.h"
#include "platform/x11/selection_owner.h"
#include "platform/x11/x11_connection.h"
#include "runtime/error.h"

namespace {

using namespace lumora::x11;

std::string readAll(int fd) {
    std::string bytes;
    char buffer[65536];
    for (;;) {
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return bytes;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
}

// The first process returns at once, so the helper is not kept waiting; the second leads a
// session of its own, away from the app's; the third, which serves, is no session leader and
// can never take a terminal.
void detach() {
    if (::fork() != 0) ::_exit(0);
    ::setsid();
    if (::fork() != 0) ::_exit(0);
}

void silence(int fd) {
    int nothing = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (nothing >= 0) ::dup2(nothing, fd);
    if (nothing >= 0 && nothing != fd) ::close(nothing);
}

struct Lost {
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t count = 0;
};

}  // namespace

int main() {
    // Nothing else of the helper's is ours to hold open.
    ::close_range(STDERR_FILENO + 1, ~0U, 0);
    std::optional<std::vector<HeldSelection>> selections =
        decodeHeldSelections(readAll(STDIN_FILENO));
    if (!selections) return 1;
    detach();
    silence(STDIN_FILENO);
    silence(STDERR_FILENO);

    Lost lost;
    std::vector<std::shared_ptr<X11Connection>> connections;
    std::vector<std::unique_ptr<SelectionOwner>> owners;
    std::size_t served = 0;
    try {
        // One connection each: every owner's thread reads all the events of its own.
        for (const HeldSelection& held : *selections) {
            auto connection = X11Connection::open();
            auto owner = std::make_unique<SelectionOwner>(
                connection, held.selection, [] {},
                [&] {
                    std::lock_guard lock(lost.mutex);
                    ++lost.count;
                    lost.changed.notify_all();
                });
            if (owner->own(offeredTargets(held.item))) ++served;
            connections.push_back(std::move(connection));
            owners.push_back(std::move(owner));
        }
    } catch (const lumora::Error&) {
        return 1;
    }
    char done = 1;
    [[maybe_unused]] ssize_t said = ::write(STDOUT_FILENO, &done, 1);
    silence(STDOUT_FILENO);

    auto displayGone = [&] {
        for (const auto& connection : connections) {
            if (!connection->alive()) return true;
        }
        return false;
    };
    std::unique_lock lock(lost.mutex);
    // A display that goes away sends nothing; it is looked at once a second.
    while (lost.count < served && !displayGone()) {
        lost.changed.wait_for(lock, std::chrono::seconds(1));
    }
    return 0;
}
