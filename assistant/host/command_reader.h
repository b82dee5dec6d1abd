// The stdin side of the host link, run on its own thread: reads lines with bounded memory,
// answers undecodable ones itself and hands every decoded request on in arrival order.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>

#include "assistant/host/request.h"

namespace lumora {

inline constexpr std::size_t maxCommandLineBytes = 99'999;

// Requests handed on that the loop has not yet taken up. An app that stops reading events
// blocks the loop in its writes; the reader then waits here rather than queueing every line
// the app keeps sending, and the app's own writes wait in turn once the input pipe fills.
inline constexpr std::size_t pendingCommandLimit = 1'024;

// Counts pending requests between the reader, which enters one before handing it on, and the
// loop, which leaves as it takes each up.
class CommandGate {
  public:
    explicit CommandGate(std::size_t limit) : limit_(limit) {}

    // At `limit` pending, waits until half of them are taken up; false once the gate is closed.
    bool enter();
    void leave();
    // The loop takes up no more requests, so a reader waiting for it would wait forever.
    void close();

  private:
    std::mutex mutex_;
    std::condition_variable room_;
    const std::size_t limit_;
    std::size_t pending_ = 0;
    bool closed_ = false;
};

// Returns at the end of input, or once `gate` is closed.
void readCommands(int fd, CommandGate& gate, const std::function<void(Request)>& deliver);

}  // namespace lumora
