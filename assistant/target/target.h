// The application and text element a request came from, captured once when the request
// starts (while the user's application is still in front), and where its reply goes: typed
// into the field while it grows, or pasted whole, and undone on request.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "assistant/generation/assistant_source.h"
#include "assistant/target/focused_paste.h"
#include "assistant/target/text_edit.h"
#include "platform/geometry.h"
#include "platform/ports.h"
#include "runtime/event_loop.h"
#include "runtime/task.h"

namespace lumora {

class Target {
  public:
    // Captures the frontmost application and its focused field. The loop must outlive the
    // target; it gives the trace its clock. `clipboard` outlives the request, to give the user's
    // clipboard back after a paste.
    Target(platform::Ports& ports, EventLoop& loop, BorrowedClipboard& clipboard);

    const std::optional<platform::RunningApplication>& application() const { return application_; }
    bool isSecureField() const { return isSecureField_; }
    const std::optional<TargetSnapshot>& original() const { return original_; }
    const std::string& selection() const { return selection_; }
    const AssistantSource& sourceContext() const { return sourceContext_; }
    std::optional<std::uint32_t> windowID() const { return windowID_; }
    std::optional<platform::Rect> bounds() const { return bounds_; }
    std::optional<platform::Rect> caretBounds() const { return caretBounds_; }
    const std::optional<std::string>& insertionFailure() const { return insertionFailure_; }
    const std::optional<IncrementalTextEdit>& incremental() const { return incremental_; }

    // Whether the captured field accepts inserted text.
    bool editable() const;
    // Whether streaming already wrote into the field, so the reply must not be pasted too.
    bool hasStreamMutation() const;
    bool canUndo() const;
    // Whether the field may be typed into while the reply grows; asked once, then cached.
    bool supportsStreamingInsertion();

    // Starts the streaming edit of a new reply from the field as the last reply left it (as
    // captured, when none was typed). The last reply stays undoable until the new one writes.
    void beginReply();
    // Types what `text` (the whole reply so far) adds since the last call.
    void streamInsert(std::string_view text);
    // Whether the whole reply is in the field and the field is unchanged since.
    bool streamCompleted(std::string_view text);
    // Pastes the whole reply; false with `insertionFailure` set when refused. The caller keeps
    // the target alive until the paste returns.
    Task<bool> insert(std::string text, bool restoreClipboard);
    bool undo();
    // Forgets the streamed edit, so it can no longer be undone.
    void dropUndoState();
    void trace(std::string_view stage, std::size_t textCount);

  private:
    void captureField(const platform::AXElement& focused);
    void chooseWindow(bool trusted);
    bool isFrontmost() const;
    bool isRunning() const;
    bool isFocused(const platform::AXElement& focused) const;
    platform::AXElement currentFocus() const;
    bool computeStreamingSupport() const;
    bool pasteSourceIsActive() const;
    void refuse(std::string reason, std::size_t textCount);

    platform::Ports& ports_;
    EventLoop& loop_;
    BorrowedClipboard& clipboard_;
    std::optional<platform::RunningApplication> application_;
    platform::AXElement element_;
    bool isSecureField_ = false;
    std::optional<TargetSnapshot> original_;
    std::string selection_;
    AssistantSource sourceContext_;
    std::optional<std::uint32_t> windowID_;
    std::optional<platform::Rect> bounds_;
    std::optional<platform::Rect> caretBounds_;
    std::optional<TextEditReceipt> receipt_;
    std::optional<TargetSnapshot> committed_;
    // Where the next reply's streaming edit starts.
    std::optional<TargetSnapshot> replyBase_;
    std::optional<IncrementalTextEdit> incremental_;
    std::optional<std::string> insertionFailure_;
    std::optional<bool> streamingSupport_;
};

}  // namespace lumora
