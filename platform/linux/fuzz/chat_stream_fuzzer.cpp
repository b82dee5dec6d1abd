// libFuzzer target: arbitrary bytes as a model server's streamed chat-completions reply, read in
// pieces of varying size as they arrive from a socket. Whatever arrives, reading ends in an
// answer or in lumora::Error, and the answer only ever grows, each time extending the one before,
// within its limit.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/linux/chat_completion_stream.h"
#include "runtime/error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t limit = 4096;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    lumora::platform::ChatCompletionStream stream(limit);
    std::string shown;
    try {
        for (std::size_t offset = 0; offset < input.size();) {
            const std::size_t piece = std::min(1 + (offset * 7919) % 509, input.size() - offset);
            const bool grew = stream.read(input.substr(offset, piece));
            const std::string_view answer = stream.answer();
            // Cumulative: each answer extends the one before.
            if (answer.size() > limit || !answer.starts_with(shown) || (grew && answer == shown)) {
                __builtin_trap();
            }
            if (grew) shown = answer;
            offset += piece;
        }
        stream.finish();
    } catch (const lumora::Error&) {
    }
    return 0;
}
