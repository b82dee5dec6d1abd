// The audit record of one request: its inputs, every status event, the raw model output and
// the screenshot, kept as one JSON document in the audit directory. Writes are throttled to
// one a second while output streams; creation, inputs and the terminal phase write at once.
// The writing itself happens on the audit writer's thread (RecordFile), so the file follows the
// record by the time the writer takes. After the first terminal phase the record no longer
// changes. Failures never reach the request: the last one is kept in error() for the
// controller to report.
// Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "assistant/audit/record_file.h"
#include "platform/images.h"
#include "platform/system.h"
#include "runtime/clock.h"
#include "runtime/executor.h"
#include "runtime/json.h"

namespace lumora {

class GenerationHistory {
  public:
    // What a record needs from the process; everything must outlive the record.
    struct Services {
        const Clock& clock;
        platform::Images& images;
        platform::System& system;
        // Runs the writes one at a time, in order.
        Executor& writer;
    };

    // The directory named by LUMORA_AUDIT_DIR; none (also for an empty value) turns auditing
    // off.
    static std::optional<std::string> defaultDirectory(platform::System& system);

    // A new record in `directory`, or in defaultDirectory() when none is given; no record when
    // auditing is off. The directory is created (0700) and the first file written, then the
    // directory is pruned to the newest records.
    static std::unique_ptr<GenerationHistory> open(
        std::uint64_t requestID, std::string source, const Services& services,
        std::optional<std::string> directory = std::nullopt);

    // Merges the entries of an object into the record (same keys are replaced) and writes.
    void input(const json::Document& entries);
    void input(std::string_view key, json::Document value);
    // Stores the image inline as a PNG data URL; the image the record already holds changes
    // nothing.
    void screenshot(const platform::Image& image);
    // The model's raw output so far; written at most once a second.
    void raw(std::string_view text);
    // One status event of the session.
    void update(std::string_view phase, std::string_view message, std::string_view text,
                std::string_view action);

    // Runs `done` on the writer's thread once every change so far is written or has failed.
    void whenWritten(std::function<void()> done);

    // The file name without its extension.
    const std::string& auditID() const { return auditID_; }
    const std::string& file() const { return path_; }
    const json::Document& record() const { return record_; }
    bool finished() const { return finished_; }
    // The last failure to create, write, prune or encode that the writer has met so far; it
    // stays once set.
    std::optional<std::string> error() const { return file_->error(); }

  private:
    GenerationHistory(std::uint64_t requestID, std::string source, const std::string& directory,
                      const Services& services);

    void persist(bool force);
    double nowMilliseconds() const;

    const Clock& clock_;
    std::string auditID_;
    std::string path_;
    std::shared_ptr<RecordFile> file_;
    json::Document record_;
    // Kept to recognise the same capture handed over again.
    std::shared_ptr<const platform::Image> screenshot_;
    bool finished_ = false;
};

}  // namespace lumora
