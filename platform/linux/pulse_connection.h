// A connection to the sound server through libpulse, which PulseAudio and PipeWire's Pulse
// server both answer: a threaded mainloop of its own, whose thread is the capture thread of the
// streams made on it, a context that never starts a server itself, and the default source.
// Every wait on the server is bounded, so a server that hangs costs its caller a timeout.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/audio.h"

struct pa_context;
struct pa_threaded_mainloop;

namespace lumora::platform {

struct PulseSource {
    std::string name;
    AudioFormat format;
};

class PulseConnection {
  public:
    // `server` in libpulse's notation ("unix:/run/user/1000/pulse/native"); none for the
    // user's own (PULSE_SERVER, else the session's). Throws lumora::Error with the server's
    // reason when it does not answer.
    explicit PulseConnection(const std::optional<std::string>& server);
    // Stops the mainloop thread: every stream made on the connection must be gone by then.
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // None when the server names no default source or cannot describe it.
    std::optional<PulseSource> defaultSource();

    // The mainloop's lock. The mainloop thread holds it while it runs callbacks, so whoever
    // holds it may set up and tear down what those callbacks use.
    class Lock {
      public:
        explicit Lock(PulseConnection& connection);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

      private:
        pa_threaded_mainloop* mainloop_;
    };

    // With the lock held: waits until `done` holds, the connection fails or the wait times
    // out; whether `done` holds. Callbacks wake the wait with `wake`.
    bool await(const std::function<bool()>& done);
    void wake();

    pa_context* context() const { return context_; }
    // The server's reason for the last failure, for error descriptions.
    std::string lastError() const;

  private:
    void close();

    pa_threaded_mainloop* mainloop_ = nullptr;
    pa_context* context_ = nullptr;
};

}  // namespace lumora::platform
