#include "platform/sim/sim_accessibility.h"

#include "runtime/text.h"

namespace lumora::sim {

namespace {

using platform::AXError;
using platform::AXValue;

// What every call answers while the process is not trusted.
constexpr auto apiDisabled = static_cast<AXError>(-25211);
constexpr std::string_view manualAccessibilityAttribute = "AXManualAccessibility";

struct Handle final : platform::AXElementHandle {
    enum class Kind { systemWide, application, element };
    Handle(Kind kind, pid_t pid, std::string id) : kind(kind), pid(pid), id(std::move(id)) {}
    Kind kind;
    pid_t pid;
    std::string id;
};

platform::AXElement makeHandle(Handle::Kind kind, pid_t pid, std::string id = {}) {
    return std::make_shared<const Handle>(kind, pid, std::move(id));
}

platform::AXElement handleOf(const Element& element) {
    return makeHandle(Handle::Kind::element, element.pid, element.id);
}

const Handle* asHandle(const platform::AXElement& element) {
    return dynamic_cast<const Handle*>(element.get());
}

std::optional<AXValue> text(const std::optional<std::string>& value) {
    if (!value) return std::nullopt;
    return AXValue(*value);
}

long utf16Units(const Element& element) {
    return static_cast<long>(text::utf16Length(element.value.value_or("")));
}

std::optional<AXValue> focusedElementOf(const World& world, const App& app) {
    bool hidden = app.exposesAfterManualAccessibility && !app.manualAccessibility;
    if (!app.focusedElement || hidden) return std::nullopt;
    return handleOf(*world.element(*app.focusedElement));
}

std::optional<AXValue> readApplication(World& world, pid_t pid, std::string_view name) {
    const App* app = world.app(pid);
    if (!app || app->terminated) return std::nullopt;
    if (name == "AXRole") return AXValue(std::string("AXApplication"));
    if (name == "AXTitle") return text(app->info.localizedName);
    if (name == "AXFocusedUIElement") return focusedElementOf(world, *app);
    if (name == "AXFocusedWindow" && app->focusedWindow) {
        return handleOf(*world.element(*app->focusedWindow));
    }
    return std::nullopt;
}

std::optional<AXValue> readSystemWide(World& world, std::string_view name) {
    if (name == "AXRole") return AXValue(std::string("AXSystemWide"));
    const App* app = world.frontmostApp();
    if (!app) return std::nullopt;
    if (name == "AXFocusedApplication") return makeHandle(Handle::Kind::application, app->info.pid);
    if (name == "AXFocusedUIElement") return focusedElementOf(world, *app);
    return std::nullopt;
}

std::optional<AXValue> readElement(const World& world, const Element& element,
                                   std::string_view name) {
    if (name == "AXRole") return text(element.role);
    if (name == "AXSubrole") return text(element.subrole);
    if (name == "AXTitle") return text(element.title);
    if (name == "AXDescription") return text(element.description);
    if (name == "AXPlaceholderValue") return text(element.placeholder);
    if (name == valueAttribute) return text(element.value);
    if (name == selectedRangeAttribute && element.selection) return AXValue(*element.selection);
    if (name == selectedTextAttribute && element.selection) {
        return AXValue(std::string(text::utf16Slice(
            element.value.value_or(""), static_cast<std::size_t>(element.selection->location),
            static_cast<std::size_t>(element.selection->length))));
    }
    if (name == "AXParent") {
        if (element.parent) return handleOf(*world.element(*element.parent));
        // Windows hang off their application.
        if (element.role == "AXWindow") return makeHandle(Handle::Kind::application, element.pid);
    }
    return std::nullopt;
}

AXError setApplicationAttribute(World& world, pid_t pid, std::string_view name,
                                const AXValue& value) {
    App* app = world.app(pid);
    if (!app || app->terminated) return platform::axInvalidElement;
    if (name != manualAccessibilityAttribute) return platform::axAttributeUnsupported;
    world.manualAccessibilityRequests.push_back(pid);
    // Only applications built on web engines know the attribute.
    if (!app->exposesAfterManualAccessibility) return platform::axAttributeUnsupported;
    const bool* enabled = std::get_if<bool>(&value);
    if (!enabled) return platform::axIllegalArgument;
    app->manualAccessibility = *enabled;
    return platform::axSuccess;
}

AXError setElementAttribute(Element& element, std::string_view name, const AXValue& value) {
    if (!element.accepts(name)) return platform::axAttributeUnsupported;
    if (name == selectedRangeAttribute) {
        const auto* range = std::get_if<platform::TextRange>(&value);
        if (!range || range->location < 0 || range->length < 0) return platform::axIllegalArgument;
        select(element, *range);
        return platform::axSuccess;
    }
    const auto* written = std::get_if<std::string>(&value);
    if (!written) return platform::axIllegalArgument;
    if (name == selectedTextAttribute) {
        if (element.rejectWrites) return *element.rejectWrites;
        if (!element.ignoresWrites) replaceSelection(element, *written, element.selectsInserted);
        return platform::axSuccess;
    }
    element.value = *written;
    element.selection = platform::TextRange{utf16Units(element), 0};
    return platform::axSuccess;
}

}  // namespace

platform::AXElement SimAccessibility::applicationElement(pid_t pid) {
    return makeHandle(Handle::Kind::application, pid);
}

platform::AXElement SimAccessibility::systemWideElement() {
    return makeHandle(Handle::Kind::systemWide, 0);
}

std::optional<AXValue> SimAccessibility::copyAttribute(const platform::AXElement& element,
                                                       std::string_view name) {
    std::lock_guard lock(world_->mutex);
    const Handle* handle = asHandle(element);
    if (!world_->permissions.accessibility || !handle) return std::nullopt;
    switch (handle->kind) {
        case Handle::Kind::systemWide:
            return readSystemWide(*world_, name);
        case Handle::Kind::application:
            return readApplication(*world_, handle->pid, name);
        case Handle::Kind::element:
            break;
    }
    const Element* target = world_->liveElement(handle->id);
    if (!target) return std::nullopt;
    return readElement(*world_, *target, name);
}

std::optional<AXValue> SimAccessibility::copyParameterizedAttribute(
    const platform::AXElement& element, std::string_view name, const AXValue& parameter) {
    std::lock_guard lock(world_->mutex);
    const Handle* handle = asHandle(element);
    if (!world_->permissions.accessibility || !handle || handle->kind != Handle::Kind::element ||
        name != "AXBoundsForRange") {
        return std::nullopt;
    }
    const Element* target = world_->liveElement(handle->id);
    const auto* range = std::get_if<platform::TextRange>(&parameter);
    if (!target || !target->value || !target->caretBounds || !range || range->location < 0 ||
        range->length < 0 || range->location + range->length > utf16Units(*target)) {
        return std::nullopt;
    }
    return AXValue(*target->caretBounds);
}

AXError SimAccessibility::setAttribute(const platform::AXElement& element, std::string_view name,
                                       const AXValue& value) {
    std::lock_guard lock(world_->mutex);
    const Handle* handle = asHandle(element);
    if (!world_->permissions.accessibility) return apiDisabled;
    if (!handle) return platform::axIllegalArgument;
    switch (handle->kind) {
        case Handle::Kind::systemWide:
            return platform::axAttributeUnsupported;
        case Handle::Kind::application:
            return setApplicationAttribute(*world_, handle->pid, name, value);
        case Handle::Kind::element:
            break;
    }
    Element* target = world_->liveElement(handle->id);
    if (!target) return platform::axInvalidElement;
    return setElementAttribute(*target, name, value);
}

std::optional<bool> SimAccessibility::isAttributeSettable(const platform::AXElement& element,
                                                          std::string_view name) {
    std::lock_guard lock(world_->mutex);
    const Handle* handle = asHandle(element);
    if (!world_->permissions.accessibility || !handle) return std::nullopt;
    switch (handle->kind) {
        case Handle::Kind::systemWide:
            return false;
        case Handle::Kind::application: {
            const App* app = world_->app(handle->pid);
            if (!app || app->terminated) return std::nullopt;
            return name == manualAccessibilityAttribute && app->exposesAfterManualAccessibility;
        }
        case Handle::Kind::element:
            break;
    }
    const Element* target = world_->liveElement(handle->id);
    if (!target) return std::nullopt;
    return target->accepts(name);
}

std::optional<pid_t> SimAccessibility::pid(const platform::AXElement& element) {
    const Handle* handle = asHandle(element);
    if (!handle || handle->kind == Handle::Kind::systemWide) return std::nullopt;
    return handle->pid;
}

bool SimAccessibility::equal(const platform::AXElement& a, const platform::AXElement& b) {
    const Handle* first = asHandle(a);
    const Handle* second = asHandle(b);
    if (!first || !second) return false;
    return first->kind == second->kind && first->pid == second->pid && first->id == second->id;
}

}  // namespace lumora::sim
