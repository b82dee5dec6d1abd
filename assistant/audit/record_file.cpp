#include "assistant/audit/record_file.h"

#include <cerrno>

#include "assistant/audit/audit_failure.h"
#include "assistant/audit/record_pruning.h"
#include "runtime/atomic_file.h"
#include "runtime/base64.h"

namespace lumora {

namespace {

constexpr std::string_view screenshotEncodingFailure = "Could not encode the captured screenshot.";
constexpr std::string_view pngDataURLPrefix = "data:image/png;base64,";
constexpr mode_t directoryMode = 0700;
constexpr mode_t fileMode = 0600;

}  // namespace

std::shared_ptr<RecordFile> RecordFile::make(std::string path, Executor& writer,
                                             platform::Images& images) {
    return std::shared_ptr<RecordFile>(new RecordFile(std::move(path), writer, images));
}

RecordFile::RecordFile(std::string path, Executor& writer, platform::Images& images)
    : path_(std::move(path)), writer_(writer), images_(images) {}

void RecordFile::create(std::string directory, json::Document record, double at) {
    {
        std::lock_guard lock(mutex_);
        ++unfinished_;
    }
    writer_.submit([self = shared_from_this(), directory = std::move(directory),
                    record = std::move(record),
                    at] { self->createOnWriter(directory, record, at); });
}

void RecordFile::write(json::Document record, double at) {
    {
        std::lock_guard lock(mutex_);
        const bool queued = pending_.has_value();
        pending_ = std::move(record);
        pendingAt_ = at;
        if (queued) return;
        ++unfinished_;
    }
    writer_.submit([self = shared_from_this()] { self->writePending(); });
}

void RecordFile::attachScreenshot(std::shared_ptr<const platform::Image> image) {
    std::lock_guard lock(mutex_);
    attachedImage_ = std::move(image);
}

void RecordFile::whenWritten(std::function<void()> done) {
    writer_.submit(std::move(done));
}

bool RecordFile::wroteWithin(double now, double interval) const {
    std::lock_guard lock(mutex_);
    return unfinished_ > 0 || (lastWrite_ && now - *lastWrite_ < interval);
}

std::optional<std::string> RecordFile::error() const {
    std::lock_guard lock(mutex_);
    return error_;
}

void RecordFile::createOnWriter(const std::string& directory, const json::Document& record,
                                double at) {
    errno = 0;
    const bool created = files::createDirectories(directory, directoryMode);
    std::optional<std::string> failure;
    if (!created) {
        failure = describeAuditFailure(auditFolderCreationFailure, directory, lastSystemError());
    }
    const bool saved = created && save(record);
    if (saved) failure = pruneAuditRecords(directory);

    std::lock_guard lock(mutex_);
    --unfinished_;
    if (saved) lastWrite_ = at;
    if (failure) error_ = std::move(failure);
}

void RecordFile::writePending() {
    json::Document record;
    double at = 0;
    {
        std::lock_guard lock(mutex_);
        record = std::move(*pending_);
        pending_.reset();
        at = pendingAt_;
    }
    const bool saved = save(std::move(record));

    std::lock_guard lock(mutex_);
    --unfinished_;
    if (saved) lastWrite_ = at;
}

bool RecordFile::save(json::Document record) {
    std::shared_ptr<const platform::Image> image;
    {
        std::lock_guard lock(mutex_);
        image = std::move(attachedImage_);
        attachedImage_.reset();
    }
    if (image) {
        if (auto png = images_.encodePng(*image)) {
            screenshotURL_ = std::string(pngDataURLPrefix) + base64::encode(*png);
        } else {
            std::lock_guard lock(mutex_);
            error_ = std::string(screenshotEncodingFailure);
        }
    }
    if (screenshotURL_) record["screenshot"] = *screenshotURL_;

    errno = 0;
    if (files::replaceAtomically(path_, json::serializeSorted(record), fileMode)) return true;
    std::string failure = describeAuditFailure(auditRecordSaveFailure, path_, lastSystemError());
    std::lock_guard lock(mutex_);
    error_ = std::move(failure);
    return false;
}

}  // namespace lumora
