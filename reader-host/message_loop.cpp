#include "reader-host/message_loop.h"

#include <exception>

#include "reader-host/framing.h"
#include "reader-host/response.h"
#include "runtime/error.h"

namespace lumora::ReaderHost {
namespace {

std::string descriptionOf(const std::exception& error) {
    if (const auto* failure = dynamic_cast<const Error*>(&error)) return failure->description;
    return error.what();
}

// Success, or the failure of processing or of writing the success, as an error response.
void answer(Request request, ByteOutput& output, const Processor& process) {
    const std::string requestId = request.requestId;
    try {
        writeResponse(output, process(std::move(request)));
    } catch (const std::exception& error) {
        writeResponse(output, errorResponse(requestId, descriptionOf(error)));
    }
}

void answerOne(std::string body, ByteOutput& output, const Processor& process) {
    std::optional<Request> request;
    try {
        // Taken over, so that processing does not carry a body as large as the message along.
        request = decodeRequest(std::move(body));
    } catch (const Error& error) {
        writeResponse(output, errorResponse("", error.description));
        return;
    }
    answer(std::move(*request), output, process);
}

}  // namespace

int runMessageLoop(ByteInput& input, ByteOutput& output, ByteOutput& diagnostics,
                   const Processor& process) {
    try {
        while (auto body = readMessage(input)) answerOne(std::move(*body), output, process);
        return 0;
    } catch (const std::exception& error) {
        try {
            diagnostics.write(descriptionOf(error) + "\n");
        } catch (const std::exception&) {
        }
        return 1;
    }
}

}  // namespace lumora::ReaderHost
