#include "platform/linux/pulse_connection.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/rtclock.h>
#include <pulse/thread-mainloop.h>
#include <pulse/timeval.h>

#include "runtime/error.h"

namespace lumora::platform {

namespace {

constexpr const char* clientName = "Lumora";
// A local server answers in milliseconds; this only bounds one that hangs.
constexpr pa_usec_t answerLimit = 2 * PA_USEC_PER_SEC;

// What a wait's time event tells the waiter.
struct Deadline {
    explicit Deadline(PulseConnection* connection) : connection(connection) {}
    PulseConnection* connection;
    bool passed = false;
};

void wakeConnection(pa_context*, void* connection) {
    static_cast<PulseConnection*>(connection)->wake();
}

// The answer of one introspection call, filled in on the mainloop thread.
template <class Value>
struct Answer {
    explicit Answer(PulseConnection* connection) : connection(connection) {}
    PulseConnection* connection;
    bool answered = false;
    std::optional<Value> value;

    void give(std::optional<Value> given) {
        value = std::move(given);
        answered = true;
        connection->wake();
    }
};

void takeDefaultSourceName(pa_context*, const pa_server_info* info, void* answer) {
    auto& name = *static_cast<Answer<std::string>*>(answer);
    name.give(info && info->default_source_name
                  ? std::optional<std::string>(info->default_source_name)
                  : std::nullopt);
}

void takeSourceFormat(pa_context*, const pa_source_info* info, int endOfList, void* answer) {
    auto& format = *static_cast<Answer<AudioFormat>*>(answer);
    if (info) {
        format.value =
            AudioFormat{static_cast<double>(info->sample_spec.rate), info->sample_spec.channels};
    }
    if (endOfList != 0) format.give(format.value);
}

}  // namespace

PulseConnection::Lock::Lock(PulseConnection& connection) : mainloop_(connection.mainloop_) {
    pa_threaded_mainloop_lock(mainloop_);
}

PulseConnection::Lock::~Lock() {
    pa_threaded_mainloop_unlock(mainloop_);
}

PulseConnection::PulseConnection(const std::optional<std::string>& server) {
    mainloop_ = pa_threaded_mainloop_new();
    if (!mainloop_)
        throw Error("Lumora.Pulse", 1, "Could not prepare the sound server connection.");
    context_ = pa_context_new(pa_threaded_mainloop_get_api(mainloop_), clientName);
    if (!context_) {
        close();
        throw Error("Lumora.Pulse", 1, "Could not prepare the sound server connection.");
    }
    pa_context_set_state_callback(context_, wakeConnection, this);
    // The helper uses the user's sound server; it never starts one of its own.
    bool connected = pa_context_connect(context_, server ? server->c_str() : nullptr,
                                        PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0 &&
                     pa_threaded_mainloop_start(mainloop_) >= 0;
    if (connected) {
        Lock lock(*this);
        connected = await([this] { return pa_context_get_state(context_) == PA_CONTEXT_READY; });
    }
    if (!connected) {
        std::string reason = lastError();
        close();
        throw Error("Lumora.Pulse", 2, "The sound server did not answer (" + reason + ").");
    }
}

PulseConnection::~PulseConnection() {
    close();
}

void PulseConnection::close() {
    // Once the thread has stopped nothing else touches the context.
    if (mainloop_) pa_threaded_mainloop_stop(mainloop_);
    if (context_) {
        pa_context_disconnect(context_);
        pa_context_unref(context_);
    }
    if (mainloop_) pa_threaded_mainloop_free(mainloop_);
}

bool PulseConnection::await(const std::function<bool()>& done) {
    Deadline deadline{this};
    pa_time_event* timer = pa_context_rttime_new(
        context_, pa_rtclock_now() + answerLimit,
        [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* waiting) {
            auto& deadline = *static_cast<Deadline*>(waiting);
            deadline.passed = true;
            deadline.connection->wake();
        },
        &deadline);
    while (!done() && !deadline.passed && PA_CONTEXT_IS_GOOD(pa_context_get_state(context_))) {
        pa_threaded_mainloop_wait(mainloop_);
    }
    pa_threaded_mainloop_get_api(mainloop_)->time_free(timer);
    return done();
}

void PulseConnection::wake() {
    pa_threaded_mainloop_signal(mainloop_, 0);
}

std::string PulseConnection::lastError() const {
    return pa_strerror(pa_context_errno(context_));
}

std::optional<PulseSource> PulseConnection::defaultSource() {
    Lock lock(*this);
    // An operation that is not answered in time is cancelled, so its callback, which points
    // at this frame, never runs.
    auto ask = [this](pa_operation* operation, const bool& answered) {
        if (!operation) return false;
        bool finished = await([&] { return answered; });
        if (!finished) pa_operation_cancel(operation);
        pa_operation_unref(operation);
        return finished;
    };
    Answer<std::string> name{this};
    if (!ask(pa_context_get_server_info(context_, takeDefaultSourceName, &name), name.answered) ||
        !name.value) {
        return std::nullopt;
    }
    Answer<AudioFormat> format{this};
    if (!ask(pa_context_get_source_info_by_name(context_, name.value->c_str(), takeSourceFormat,
                                                &format),
             format.answered) ||
        !format.value) {
        return std::nullopt;
    }
    return PulseSource{*name.value, *format.value};
}

}  // namespace lumora::platform
