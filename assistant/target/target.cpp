#include "assistant/target/target.h"

namespace lumora {

namespace {
constexpr std::string_view unknownApp = "Unknown app";
}

// Only the application is captured so far; the focused element, its selection and window
// come with the field capture, and with them editing and undo.
Target::Target(platform::Ports& ports)
    : ports_(ports), application_(ports.workspace.frontmostApplication()) {
    sourceContext_.app = application_ && application_->localizedName
                             ? *application_->localizedName
                             : std::string(unknownApp);
}

bool Target::editable() const { return false; }

bool Target::canUndo() const { return false; }

bool Target::undo() { return false; }

void Target::dropUndoState() {}

void Target::trace(std::string_view, std::size_t) {}

}  // namespace lumora
