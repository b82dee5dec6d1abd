#include "assistant/target/focused_paste.h"

#include "assistant/target/command_v.h"

namespace lumora {

namespace {

constexpr double modifierPollInterval = 0.025;
constexpr int modifierPolls = 24;
constexpr double settleDelay = 0.03;
constexpr double restoreDelay = 1.0;

Task<void> runLater(double delay, std::function<void()> action) {
    co_await sleepFor(delay);
    action();
}

}  // namespace

FocusedPaste::FocusedPaste(platform::Pasteboard& pasteboard, platform::Keyboard& keyboard,
                           TaskScope& restores, PasteOperations operations)
    : pasteboard_(operations.pasteboard ? *operations.pasteboard : pasteboard),
      operations_(std::move(operations)) {
    if (!operations_.sleep) {
        operations_.sleep = [](double seconds) -> Task<void> { co_await sleepFor(seconds); };
    }
    if (!operations_.dispatch) {
        operations_.dispatch = [&keyboard] { return postCommandV(keyboard); };
    }
    if (!operations_.writeText) {
        operations_.writeText = [](platform::Pasteboard& board, const std::string& text) {
            return board.setString(text);
        };
    }
    if (!operations_.scheduleRestore) {
        // Not tied to the paste or its target: the user's clipboard comes back even when the
        // request is over by then.
        operations_.scheduleRestore = [&restores](std::function<void()> action) {
            restores.spawn(runLater(restoreDelay, std::move(action)));
        };
    }
}

Task<bool> FocusedPaste::paste(std::string text, bool restoreClipboard,
                               std::function<bool()> sourceIsActive,
                               std::function<bool()> shortcutPressed) {
    if (text.empty() || co_await isCancelled() || !sourceIsActive()) co_return false;
    if (!co_await waitForReleasedModifiers(sourceIsActive, shortcutPressed)) co_return false;
    if (co_await isCancelled() || !sourceIsActive() || shortcutPressed()) co_return false;

    std::vector<platform::PasteboardItem> saved;
    if (restoreClipboard) saved = clipboardContents();
    pasteboard_.clearContents();
    bool written = operations_.writeText(pasteboard_, text);
    long changeCount = pasteboard_.changeCount();
    bool dispatched = written && operations_.dispatch();
    if (restoreClipboard) scheduleRestore(std::move(saved), changeCount);
    co_return dispatched;
}

Task<bool> FocusedPaste::waitForReleasedModifiers(const std::function<bool()>& sourceIsActive,
                                                  const std::function<bool()>& shortcutPressed) {
    try {
        if (shortcutPressed()) {
            for (int polls = 1;; ++polls) {
                co_await operations_.sleep(modifierPollInterval);
                if (co_await isCancelled() || !sourceIsActive()) co_return false;
                if (!shortcutPressed()) break;
                if (polls == modifierPolls) co_return false;
            }
        }
        co_await operations_.sleep(settleDelay);
    } catch (const Cancelled&) {
        co_return false;
    }
    co_return true;
}

std::vector<platform::PasteboardItem> FocusedPaste::clipboardContents() {
    std::vector<platform::PasteboardItem> items;
    for (std::size_t index = 0, count = pasteboard_.itemCount(); index < count; ++index) {
        platform::PasteboardItem& item = items.emplace_back();
        for (const std::string& type : pasteboard_.types(index)) {
            if (auto bytes = pasteboard_.data(index, type)) item.emplace_back(type, *bytes);
        }
    }
    return items;
}

void FocusedPaste::scheduleRestore(std::vector<platform::PasteboardItem> saved, long changeCount) {
    platform::Pasteboard& pasteboard = pasteboard_;
    operations_.scheduleRestore([&pasteboard, saved = std::move(saved), changeCount] {
        // Somebody copied something since: theirs is newer than what we kept.
        if (pasteboard.changeCount() != changeCount) return;
        pasteboard.clearContents();
        if (!saved.empty()) pasteboard.writeItems(saved);
    });
}

}  // namespace lumora
