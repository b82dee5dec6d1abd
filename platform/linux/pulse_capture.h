// One record stream on a sound server connection: a source in float samples at the format
// asked for (the server converts from the source's own), handed to a handler in tap buffers
// on the connection's mainloop thread as the server delivers them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/audio.h"
#include "platform/linux/pulse_buffer_assembly.h"
#include "platform/linux/pulse_connection.h"

struct pa_stream;

namespace lumora::platform {

class PulseCapture {
  public:
    // Throws lumora::Error when the server will not record `source` in `format`.
    PulseCapture(PulseConnection& connection, const std::string& source, AudioFormat format,
                 std::uint32_t frames, PulseBufferAssembly::Handler handler);
    // Once it returns the handler is not running and is not called again. Not to be called
    // from the handler.
    ~PulseCapture();
    PulseCapture(const PulseCapture&) = delete;
    PulseCapture& operator=(const PulseCapture&) = delete;

  private:
    void collect();
    void close();

    PulseConnection& connection_;
    PulseBufferAssembly assembly_;
    pa_stream* stream_ = nullptr;
};

}  // namespace lumora::platform
