// The file of one audit record, written on the audit writer's thread so that the main thread
// never waits for the disk. The record hands over copies of its state; a state handed over
// before the writer took up the previous one replaces it, so a burst of changes costs one write.
// The screenshot travels apart from the state and is encoded once, on the writer's thread.
// Failures come back through error(), which the main thread reads.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/images.h"
#include "runtime/executor.h"
#include "runtime/json.h"

namespace lumora {

class RecordFile : public std::enable_shared_from_this<RecordFile> {
  public:
    // `writer` must run its jobs one at a time, in the order given.
    static std::shared_ptr<RecordFile> make(std::string path, Executor& writer,
                                            platform::Images& images);

    // Creates `directory` (0700), writes `record` and prunes the directory to the newest
    // records; a failure to create the directory skips the rest. `at` is the continuous-clock
    // reading the write is stamped with on success.
    void create(std::string directory, json::Document record, double at);
    void write(json::Document record, double at);
    // Goes into every write from the next one on, as a PNG data URL.
    void attachScreenshot(std::shared_ptr<const platform::Image> image);

    // Runs `done` on the writer's thread once everything handed over so far is written or has
    // failed.
    void whenWritten(std::function<void()> done);

    // Whether a write that may wait should wait at `now`: one is under way, or the last state
    // written successfully was handed over less than `interval` seconds before.
    bool wroteWithin(double now, double interval) const;
    // The last failure to create, write, prune or encode; it stays once set.
    std::optional<std::string> error() const;

  private:
    RecordFile(std::string path, Executor& writer, platform::Images& images);

    // The writer's jobs.
    void createOnWriter(const std::string& directory, const json::Document& record, double at);
    void writePending();
    // Encodes a newly attached screenshot and writes `record` with it; true on success.
    bool save(json::Document record);

    const std::string path_;
    Executor& writer_;
    platform::Images& images_;

    mutable std::mutex mutex_;
    std::optional<json::Document> pending_;
    double pendingAt_ = 0;
    // Hand-overs the writer has not finished: the creation and each write job.
    int unfinished_ = 0;
    std::shared_ptr<const platform::Image> attachedImage_;
    std::optional<double> lastWrite_;
    std::optional<std::string> error_;

    // Writer's thread only: the encoded screenshot.
    std::optional<std::string> screenshotURL_;
};

}  // namespace lumora
