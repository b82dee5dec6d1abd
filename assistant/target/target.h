// The application and text element a request came from, captured once when the request
// starts, and where its reply goes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "assistant/generation/assistant_source.h"
#include "platform/geometry.h"
#include "platform/ports.h"

namespace lumora {

class Target {
public:
    // Captures the frontmost application (while the user's application is still in front).
    explicit Target(platform::Ports& ports);

    const std::optional<platform::RunningApplication>& application() const { return application_; }
    const AssistantSource& sourceContext() const { return sourceContext_; }
    const std::string& selection() const { return selection_; }
    std::optional<std::uint32_t> windowID() const { return windowID_; }
    std::optional<platform::Rect> bounds() const { return bounds_; }
    std::optional<platform::Rect> caretBounds() const { return caretBounds_; }

    // Whether the captured field accepts inserted text.
    bool editable() const;
    // Whether a streamed reply can be taken back.
    bool canUndo() const;
    bool undo();
    // Forgets the streamed edit, so it can no longer be undone.
    void dropUndoState();
    void trace(std::string_view stage, std::size_t textCount);

private:
    platform::Ports& ports_;
    std::optional<platform::RunningApplication> application_;
    std::string selection_;
    AssistantSource sourceContext_;
    std::optional<std::uint32_t> windowID_;
    std::optional<platform::Rect> bounds_;
    std::optional<platform::Rect> caretBounds_;
};

}  // namespace lumora
