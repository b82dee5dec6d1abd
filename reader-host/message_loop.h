// The native-messaging loop: one message at a time, one response per request, in order. An
// undecodable body or a failed request is answered with an error response and the loop goes
// on; a framing failure, or an error response that cannot be written, ends it.
#pragma once

#include <functional>

#include "reader-host/byte_streams.h"
#include "reader-host/request.h"
#include "runtime/json.h"

namespace lumora::ReaderHost {

// Takes the request over, so that its screenshot can be let go of as soon as it is decoded.
using Processor = std::function<json::Document(Request)>;

// The process's exit status: 0 at a clean end of input, 1 after a fatal failure, whose
// description is written to `diagnostics` with a line feed.
int runMessageLoop(ByteInput& input, ByteOutput& output, ByteOutput& diagnostics,
                   const Processor& process);

}  // namespace lumora::ReaderHost
