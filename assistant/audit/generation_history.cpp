#include "assistant/audit/generation_history.h"

#include <filesystem>

#include "assistant/audit/record_name.h"
#include "runtime/uuid.h"

namespace lumora {

namespace {

constexpr std::string_view onDeviceModel = "Apple Foundation Models (on-device)";
constexpr double writeInterval = 1.0;

bool isTerminal(std::string_view phase) {
    return phase == "result" || phase == "error" || phase == "canceled" || phase == "interrupted";
}

bool carriesOutput(std::string_view phase) {
    return phase == "streaming" || phase == "result" || phase == "error";
}

bool lastPhaseIs(const json::Document& events, std::string_view phase) {
    if (events.empty() || !events.back().is_object()) return false;
    auto last = events.back().find("phase");
    return last != events.back().end() && last->is_string() &&
           last->get_ref<const std::string&>() == phase;
}

}  // namespace

std::optional<std::string> GenerationHistory::defaultDirectory(platform::System& system) {
    auto directory = system.environment("LUMORA_AUDIT_DIR");
    if (!directory || directory->empty()) return std::nullopt;
    return directory;
}

std::unique_ptr<GenerationHistory> GenerationHistory::open(std::uint64_t requestID,
                                                           std::string source,
                                                           const Services& services,
                                                           std::optional<std::string> directory) {
    if (!directory) directory = defaultDirectory(services.system);
    if (!directory || directory->empty()) return nullptr;
    std::unique_ptr<GenerationHistory> history(
        new GenerationHistory(requestID, std::move(source), *directory, services));
    history->file_->create(*directory, history->record_, services.clock.continuousSeconds());
    return history;
}

GenerationHistory::GenerationHistory(std::uint64_t requestID, std::string source,
                                     const std::string& directory, const Services& services)
    : clock_(services.clock) {
    double created = nowMilliseconds();
    std::string name = auditRecordFileName(created, Uuid::random());
    auditID_ = name.substr(0, name.size() - auditRecordExtension.size());
    path_ = (std::filesystem::path(directory) / name).string();
    file_ = RecordFile::make(path_, services.writer, services.images);
    record_ = {
        {"id", auditID_},         {"requestId", requestID},
        {"createdAt", created},   {"source", std::move(source)},
        {"status", "started"},    {"events", json::Document::array()},
        {"model", onDeviceModel}, {"osVersion", services.system.osVersion().versionString},
    };
}

void GenerationHistory::input(const json::Document& entries) {
    if (finished_ || !entries.is_object()) return;
    record_.update(entries);
    persist(true);
}

void GenerationHistory::input(std::string_view key, json::Document value) {
    json::Document entries = json::Document::object();
    entries[std::string(key)] = std::move(value);
    input(entries);
}

void GenerationHistory::screenshot(const platform::Image& image) {
    // A capture prepared while recording reaches the record again with the generation that
    // uses it; encoding it twice would only cost time.
    if (finished_ || (screenshot_ && *screenshot_ == image)) return;
    screenshot_ = std::make_shared<const platform::Image>(image);
    file_->attachScreenshot(screenshot_);
    persist(true);
}

void GenerationHistory::raw(std::string_view text) {
    if (finished_) return;
    record_["rawOutput"] = text;
    persist(false);
}

void GenerationHistory::update(std::string_view phase, std::string_view message,
                               std::string_view text, std::string_view action) {
    if (finished_) return;
    double now = nowMilliseconds();
    record_["status"] = phase;
    record_["message"] = message;
    record_["action"] = action;
    if (!text.empty()) {
        if (phase == "recording") record_["transcript"] = text;
        if (carriesOutput(phase)) record_["output"] = text;
    }

    json::Document& events = record_["events"];
    if (!events.is_array()) events = json::Document::array();
    // Every streamed chunk repeats its phase; the record keeps only the first of a run.
    if (!lastPhaseIs(events, phase)) {
        events.push_back({{"phase", phase}, {"at", now}, {"message", message}});
    }

    bool terminal = isTerminal(phase);
    if (terminal) record_["finishedAt"] = now;
    persist(terminal);
    finished_ = terminal;
}

void GenerationHistory::whenWritten(std::function<void()> done) {
    file_->whenWritten(std::move(done));
}

void GenerationHistory::persist(bool force) {
    const double now = clock_.continuousSeconds();
    // A write still under way counts as one just made: it will be stamped with the moment it
    // was handed over.
    if (!force && file_->wroteWithin(now, writeInterval)) return;
    file_->write(record_, now);
}

double GenerationHistory::nowMilliseconds() const {
    return clock_.wallSeconds() * 1000.0;
}

}  // namespace lumora
