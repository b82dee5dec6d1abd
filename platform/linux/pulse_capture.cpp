#include "platform/linux/pulse_capture.h"

#include <pulse/stream.h>

#include <cmath>

#include "runtime/error.h"

namespace lumora::platform {

namespace {

constexpr const char* streamName = "Microphone";

Error refused(const std::string& reason) {
    return Error("Lumora.Pulse", 3, "The sound server would not record (" + reason + ").");
}

}  // namespace

PulseCapture::PulseCapture(PulseConnection& connection, const std::string& source,
                           AudioFormat format, std::uint32_t frames,
                           PulseBufferAssembly::Handler handler)
    : connection_(connection), assembly_(format, frames, std::move(handler)) {
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE,
                              static_cast<std::uint32_t>(std::lround(format.sampleRate)),
                              static_cast<std::uint8_t>(format.channels)};
    if (!pa_sample_spec_valid(&spec) || format.channels > PA_CHANNELS_MAX) {
        throw refused("unsupported format");
    }
    PulseConnection::Lock lock(connection_);
    stream_ = pa_stream_new(connection_.context(), streamName, &spec, nullptr);
    if (!stream_) throw refused(connection_.lastError());
    pa_stream_set_state_callback(
        stream_, [](pa_stream*, void* self) { static_cast<PulseConnection*>(self)->wake(); },
        &connection_);
    pa_stream_set_read_callback(
        stream_,
        [](pa_stream*, std::size_t, void* self) { static_cast<PulseCapture*>(self)->collect(); },
        this);
    // The server hands samples over a tap buffer at a time, rather than in the larger blocks
    // it would choose for a stream that does not mind latency.
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.fragsize = frames * static_cast<std::uint32_t>(pa_frame_size(&spec));
    const bool started = pa_stream_connect_record(stream_, source.c_str(), &attributes,
                                                  PA_STREAM_ADJUST_LATENCY) >= 0 &&
                         connection_.await([this] {
                             const pa_stream_state_t state = pa_stream_get_state(stream_);
                             return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
                         }) &&
                         pa_stream_get_state(stream_) == PA_STREAM_READY;
    if (!started) {
        Error error = refused(connection_.lastError());
        close();
        throw error;
    }
}

PulseCapture::~PulseCapture() {
    PulseConnection::Lock lock(connection_);
    close();
}

void PulseCapture::close() {
    pa_stream_set_read_callback(stream_, nullptr, nullptr);
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
}

// On the mainloop thread, with its lock held.
void PulseCapture::collect() {
    while (pa_stream_readable_size(stream_) > 0) {
        const void* data = nullptr;
        std::size_t bytes = 0;
        if (pa_stream_peek(stream_, &data, &bytes) < 0 || bytes == 0) return;
        const std::size_t samples = bytes / sizeof(float);
        if (data) {
            assembly_.add({static_cast<const float*>(data), samples});
        } else {
            assembly_.addSilence(samples);
        }
        pa_stream_drop(stream_);
    }
}

}  // namespace lumora::platform
