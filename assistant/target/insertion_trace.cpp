#include "assistant/target/insertion_trace.h"

#include "runtime/atomic_file.h"

namespace lumora::InsertionTrace {

namespace {
constexpr mode_t directoryMode = 0700;
constexpr mode_t fileMode = 0600;
}  // namespace

void append(const std::string& directory, const json::Document& record) {
    try {
        if (!files::createDirectories(directory, directoryMode)) return;
        std::string path = directory + "/" + std::string(fileName);
        std::string contents = files::readAll(path).value_or("");
        if (contents.size() > maximumBytes) contents.clear();
        contents += json::serializeSorted(record);
        contents += '\n';
        files::replaceAtomically(path, contents, fileMode);
    } catch (const std::exception&) {
        // Tracing is diagnostic only.
    }
}

}  // namespace lumora::InsertionTrace
