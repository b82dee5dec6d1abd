#include "assistant/target/target.h"

#include <vector>

#include "assistant/target/accessibility_reading.h"
#include "assistant/target/insertion_trace.h"
#include "runtime/text.h"

namespace lumora {

namespace {

constexpr std::string_view unknownApp = "Unknown app";
constexpr std::string_view secureSubrole = "AXSecureTextField";
constexpr std::size_t windowTitleCharacters = 500;
constexpr std::size_t focusedLabelCharacters = 300;
constexpr int maximumAncestry = 64;
constexpr platform::EventFlags pasteBlockingModifiers =
    platform::eventFlags::shift | platform::eventFlags::control | platform::eventFlags::option |
    platform::eventFlags::command | platform::eventFlags::function;

// Errors that mean the field does not take writes this way at all, as opposed to a write that
// may or may not have landed.
bool rejectsWrites(platform::AXError error) {
    return error == platform::axIllegalArgument || error == platform::axAttributeUnsupported ||
           error == platform::axNotImplemented;
}

std::string cut(std::string_view text, std::size_t characters) {
    return std::string(text::characterPrefix(text, characters));
}

}  // namespace

Target::Target(platform::Ports& ports, EventLoop& loop, BorrowedClipboard& clipboard)
    : ports_(ports),
      loop_(loop),
      clipboard_(clipboard),
      application_(ports.workspace.frontmostApplication()) {
    platform::Accessibility& ax = ports.accessibility;
    bool trusted = ports.permissions.accessibilityTrusted();
    if (trusted) {
        if (platform::AXElement focused = accessibility::focusedElement(ports, true)) {
            captureField(focused);
        }
    }

    chooseWindow(trusted);

    std::string label;
    for (std::string_view name : {"AXTitle", "AXDescription", "AXPlaceholderValue"}) {
        std::optional<std::string> value = accessibility::stringAttribute(ax, element_, name);
        if (value && !value->empty()) {
            label = std::move(*value);
            break;
        }
    }
    sourceContext_.app = application_ && application_->localizedName ? *application_->localizedName
                                                                     : std::string(unknownApp);
    sourceContext_.focusedRole =
        accessibility::stringAttribute(ax, element_, "AXRole").value_or("");
    sourceContext_.focusedLabel = cut(label, focusedLabelCharacters);
}

void Target::captureField(const platform::AXElement& focused) {
    platform::Accessibility& ax = ports_.accessibility;
    // Nothing is ever read from a password field.
    if (accessibility::stringAttribute(ax, focused, "AXSubrole") == secureSubrole) {
        isSecureField_ = true;
        return;
    }
    element_ = focused;
    original_ = accessibility::snapshot(ax, element_);
    replyBase_ = original_;
    if (original_) {
        platform::TextRange range{static_cast<long>(original_->location),
                                  static_cast<long>(original_->length)};
        std::optional<platform::AXValue> value =
            ax.copyParameterizedAttribute(element_, "AXBoundsForRange", range);
        auto* rect = value ? std::get_if<platform::Rect>(&*value) : nullptr;
        if (rect && rect->height > 0) caretBounds_ = *rect;
    }
    selection_ = accessibility::stringAttribute(ax, element_, "AXSelectedText").value_or("");
}

void Target::chooseWindow(bool trusted) {
    std::vector<platform::WindowInfo> kept;
    if (application_) {
        for (platform::WindowInfo& window : ports_.windows.onScreenWindows()) {
            if (window.ownerPid == application_->pid && window.layer == 0) {
                kept.push_back(std::move(window));
            }
        }
    }
    std::string accessibilityTitle;
    if (application_ && trusted) {
        platform::Accessibility& ax = ports_.accessibility;
        platform::AXElement window = accessibility::elementAttribute(
            ax, ax.applicationElement(application_->pid), "AXFocusedWindow");
        accessibilityTitle = accessibility::stringAttribute(ax, window, "AXTitle").value_or("");
    }
    const platform::WindowInfo* chosen = kept.empty() ? nullptr : &kept.front();
    if (!accessibilityTitle.empty()) {
        for (const platform::WindowInfo& window : kept) {
            if (window.name == accessibilityTitle) {
                chosen = &window;
                break;
            }
        }
    }
    std::string title = accessibilityTitle;
    if (title.empty() && chosen) title = chosen->name.value_or("");
    sourceContext_.windowTitle = cut(title, windowTitleCharacters);
    if (chosen) {
        windowID_ = chosen->number;
        bounds_ = chosen->bounds;
    }
}

bool Target::editable() const {
    return element_ && original_ &&
           ports_.accessibility.isAttributeSettable(element_, "AXSelectedText") == true;
}

bool Target::hasStreamMutation() const {
    return incremental_ && !incremental_->canFallback;
}

bool Target::canUndo() const {
    return receipt_ && committed_;
}

bool Target::supportsStreamingInsertion() {
    if (!streamingSupport_) streamingSupport_ = computeStreamingSupport();
    return *streamingSupport_;
}

bool Target::computeStreamingSupport() const {
    platform::Accessibility& ax = ports_.accessibility;
    std::vector<std::string> roles;
    platform::AXElement current = element_;
    for (int examined = 0; current && examined < maximumAncestry; ++examined) {
        std::optional<std::string> role = accessibility::stringAttribute(ax, current, "AXRole");
        if (!role) return false;
        roles.push_back(*role);
        if (*role == "AXWebArea" || *role == "AXWindow") {
            return TextInsertionPolicy::permitsStreaming(roles, *role == "AXWindow");
        }
        platform::AXElement parent = accessibility::elementAttribute(ax, current, "AXParent");
        if (!parent || ax.equal(parent, current)) return false;
        current = std::move(parent);
    }
    return false;
}

void Target::beginReply() {
    if (committed_) replyBase_ = committed_;
    incremental_.reset();
}

void Target::streamInsert(std::string_view text) {
    if (!supportsStreamingInsertion() || !replyBase_) return;
    if (!incremental_) incremental_.emplace(*replyBase_);
    if (!isRunning() || !element_) return;
    platform::Accessibility& ax = ports_.accessibility;
    bool sameElement = isFrontmost() && isFocused(currentFocus());
    std::optional<std::string> delta =
        incremental_->next(text, accessibility::snapshot(ax, element_), sameElement, editable());
    if (!delta || delta->empty()) return;
    platform::AXError written = ax.setAttribute(element_, "AXSelectedText", *delta);
    std::optional<TargetSnapshot> after = accessibility::snapshot(ax, element_);
    if (incremental_->commit(text, after, rejectsWrites(written))) {
        receipt_ = incremental_->receipt;
        committed_ = std::move(after);
    }
}

bool Target::streamCompleted(std::string_view text) {
    return incremental_ && !incremental_->stopped && incremental_->inserted == text &&
           isFrontmost() && isFocused(currentFocus()) && committed_ &&
           accessibility::snapshot(ports_.accessibility, element_) == committed_;
}

Task<bool> Target::insert(std::string text, bool restoreClipboard) {
    std::size_t count = text::characterCount(text);
    insertionFailure_.reset();
    trace("insert-attempt", count);
    if (!isRunning()) {
        refuse("source-app-unavailable", count);
        co_return false;
    }
    if (!isFrontmost()) {
        refuse("source-app-not-frontmost", count);
        co_return false;
    }
    if (isSecureField_) {
        refuse("secure-text-field", count);
        co_return false;
    }
    FocusedPaste paste(clipboard_, ports_.keyboard);
    platform::Keyboard& keyboard = ports_.keyboard;
    bool pasted = co_await paste.paste(
        std::move(text), restoreClipboard, [this] { return pasteSourceIsActive(); },
        [&keyboard] { return (keyboard.sessionFlags() & pasteBlockingModifiers) != 0; });
    if (!pasted) {
        refuse("paste-canceled-or-source-changed", count);
        co_return false;
    }
    // A pasted reply is the application's own edit; it is not undone through the receipt.
    receipt_.reset();
    committed_.reset();
    co_return true;
}

bool Target::pasteSourceIsActive() const {
    if (!ports_.permissions.accessibilityTrusted() || !isRunning() || !isFrontmost()) return false;
    platform::AXElement focused = currentFocus();
    return !focused || accessibility::stringAttribute(ports_.accessibility, focused, "AXSubrole") !=
                           secureSubrole;
}

void Target::refuse(std::string reason, std::size_t textCount) {
    insertionFailure_ = std::move(reason);
    trace("insert-refused", textCount);
}

bool Target::undo() {
    if (!isRunning() || !isFrontmost() || !element_) return false;
    platform::Accessibility& ax = ports_.accessibility;
    platform::AXElement focused = currentFocus();
    if (!focused) return false;
    std::optional<TargetSnapshot> current = accessibility::snapshot(ax, element_);
    if (!current || !receipt_ || !committed_) return false;
    if (!receipt_->permitsUndo(*current, *committed_, ax.equal(element_, focused), editable())) {
        return false;
    }
    platform::TextRange inserted{static_cast<long>(receipt_->original.location),
                                 static_cast<long>(receipt_->replacementLength)};
    if (ax.setAttribute(element_, "AXSelectedTextRange", inserted) != platform::axSuccess) {
        return false;
    }
    if (ax.setAttribute(element_, "AXSelectedText", receipt_->originalText) ==
        platform::axSuccess) {
        dropUndoState();
        return true;
    }
    platform::TextRange previous{static_cast<long>(committed_->location),
                                 static_cast<long>(committed_->length)};
    ax.setAttribute(element_, "AXSelectedTextRange", previous);
    return false;
}

void Target::dropUndoState() {
    receipt_.reset();
    committed_.reset();
}

void Target::trace(std::string_view stage, std::size_t textCount) {
    std::optional<std::string> directory = ports_.system.environment("LUMORA_AUDIT_DIR");
    if (!directory || directory->empty()) return;
    platform::AXElement focused = currentFocus();
    std::optional<TargetSnapshot> fresh =
        element_ ? accessibility::snapshot(ports_.accessibility, element_) : std::nullopt;
    std::optional<platform::RunningApplication> frontmost = ports_.workspace.frontmostApplication();
    bool sameFrontmost = frontmost.has_value() == application_.has_value() &&
                         (!frontmost || frontmost->pid == application_->pid);
    json::Document record = {
        {"time", loop_.clock().wallSeconds()},
        {"stage", stage},
        {"accessibilityTrusted", ports_.permissions.accessibilityTrusted()},
        {"app", sourceContext_.app},
        {"role", sourceContext_.focusedRole},
        {"frontmost", sameFrontmost},
        {"sameElement", isFocused(focused)},
        {"hadSnapshot", original_.has_value()},
        {"hasSnapshot", fresh.has_value()},
        {"sameSnapshot", original_ && fresh && *original_ == *fresh},
        {"originalCaret", original_ ? original_->location : -1},
        {"currentCaret", fresh ? fresh->location : -1},
        {"textCount", textCount},
        {"failure", insertionFailure_.value_or("")},
    };
    InsertionTrace::append(*directory, record);
}

bool Target::isRunning() const {
    return application_ && !ports_.workspace.isTerminated(application_->pid);
}

bool Target::isFrontmost() const {
    std::optional<platform::RunningApplication> frontmost = ports_.workspace.frontmostApplication();
    return application_ && frontmost && frontmost->pid == application_->pid;
}

bool Target::isFocused(const platform::AXElement& focused) const {
    return element_ && focused && ports_.accessibility.equal(element_, focused);
}

platform::AXElement Target::currentFocus() const {
    return accessibility::focusedElement(ports_, false);
}

}  // namespace lumora
