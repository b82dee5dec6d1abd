#include "platform/x11/atspi_accessibility.h"

#include <chrono>
#include <map>
#include <string>

#include "platform/x11/accessibility_bus_status.h"
#include "platform/x11/atspi_focus.h"
#include "platform/x11/atspi_focus_search.h"
#include "platform/x11/atspi_roles.h"
#include "platform/x11/atspi_text_field.h"
#include "platform/x11/atspi_thread.h"
#include "runtime/text.h"

namespace lumora::x11 {

namespace {

using platform::AXError;
using platform::AXValue;

constexpr std::string_view manualAccessibility = "AXManualAccessibility";
constexpr std::string_view valueAttribute = "AXValue";
constexpr std::string_view selectedTextAttribute = "AXSelectedText";
constexpr std::string_view selectedRangeAttribute = "AXSelectedTextRange";
// Deep enough for any toolkit's nesting of a field inside its window.
constexpr int maximumAncestry = 64;
// How long an application that let a call run into the bus timeout is left alone: every read
// in that time fails at once instead of waiting again, so a hung application costs a capture
// one timeout, not one per attribute.
constexpr auto unresponsivePause = std::chrono::seconds(1);
using Clock = std::chrono::steady_clock;

struct Handle final : platform::AXElementHandle {
    enum class Kind { systemWide, application, element };
    Handle(Kind kind, pid_t pid) : kind(kind), pid(pid) {}
    ~Handle() override {
        if (accessible) thread->post([object = accessible.release()] { g_object_unref(object); });
    }
    Kind kind;
    pid_t pid;
    // An element's identity on the bus; its reference is dropped on the accessibility thread.
    std::string busName;
    std::string path;
    GRef<AtspiAccessible> accessible;
    std::shared_ptr<AtspiThread> thread;
};

const Handle* asHandle(const platform::AXElement& element) {
    return dynamic_cast<const Handle*>(element.get());
}

std::optional<AXValue> text(gchar* owned) {
    if (!owned) return std::nullopt;
    std::string value(owned);
    g_free(owned);
    return AXValue(std::move(value));
}

// None when the states cannot be read.
std::optional<bool> isMultiLine(AtspiAccessible* element) {
    GRef<AtspiStateSet> states(atspi_accessible_get_state_set(element));
    if (!states) return std::nullopt;
    return atspi_state_set_contains(states.get(), ATSPI_STATE_MULTI_LINE);
}

std::optional<AXValue> placeholderOf(AtspiAccessible* element) {
    ErrorSlot error;
    GHashTable* attributes = atspi_accessible_get_attributes(element, error.out());
    if (!attributes) return std::nullopt;
    const auto* placeholder =
        static_cast<const gchar*>(g_hash_table_lookup(attributes, "placeholder-text"));
    std::optional<AXValue> value;
    if (placeholder) value = AXValue(std::string(placeholder));
    g_hash_table_unref(attributes);
    return value;
}

AXError writeAttribute(AtspiAccessible* target, bool password, std::string_view name,
                       const AXValue& value, TextUnits& units) {
    if (text_field::isDefunct(target)) return platform::axInvalidElement;
    if (password) return platform::axAttributeUnsupported;
    if (name == selectedRangeAttribute) {
        const auto* range = std::get_if<platform::TextRange>(&value);
        return range ? text_field::select(target, *range, units) : platform::axIllegalArgument;
    }
    if (name != selectedTextAttribute && name != valueAttribute) {
        return platform::axAttributeUnsupported;
    }
    const auto* written = std::get_if<std::string>(&value);
    if (!written) return platform::axIllegalArgument;
    return name == valueAttribute ? text_field::setValue(target, *written, units)
                                  : text_field::replaceSelection(target, *written, units);
}

}  // namespace

// The accessibility thread's view of the desktop: process ids of bus connections, application
// roots and the focus.
class AtspiAccessibility::Tree {
  public:
    Tree(std::shared_ptr<AtspiThread> thread, WindowLocator locate)
        : thread_(std::move(thread)),
          locate_(std::move(locate)),
          focus_([this](AtspiAccessible* element) { return pidOf(element); }) {}

    // Runs `work` against the application on `bus` unless it is being left alone, in which case
    // the answer is `failed`. Work that failed after a whole bus timeout met an application that
    // stopped answering, and leaves it alone from now on. Work that took as long and succeeded
    // did not: a slow application (GTK 4 takes up to 130 ms a call while it lays out what was
    // just typed) spends that over a read's several calls, and is still answering.
    template <class Work, class Result = std::invoke_result_t<Work>>
    Result guarded(const std::string& bus, Result failed, Work work) {
        auto paused = unresponsive_.find(bus);
        if (paused != unresponsive_.end()) {
            if (Clock::now() < paused->second) return failed;
            unresponsive_.erase(paused);
        }
        auto started = Clock::now();
        Result result = work();
        auto timeout = std::chrono::milliseconds(AtspiThread::callTimeoutMilliseconds);
        if (result == failed && Clock::now() - started >= timeout) {
            unresponsive_[bus] = Clock::now() + unresponsivePause;
        }
        return result;
    }

    pid_t pidOf(AtspiAccessible* element) {
        const char* bus =
            ATSPI_OBJECT(element)->app ? ATSPI_OBJECT(element)->app->bus_name : nullptr;
        if (!bus) return 0;
        // Connection names are never reused on a bus, so what was learnt stays true.
        auto known = pids_.find(bus);
        if (known != pids_.end()) return known->second;
        ErrorSlot error;
        auto pid = static_cast<pid_t>(atspi_accessible_get_process_id(element, error.out()));
        if (error.failed()) return 0;
        pids_.emplace(bus, pid);
        return pid;
    }

    GRef<AtspiAccessible> applicationRoot(pid_t pid) {
        GRef<AtspiAccessible> desktop(atspi_get_desktop(0));
        if (!desktop) return nullptr;
        ErrorSlot error;
        gint count = atspi_accessible_get_child_count(desktop.get(), error.out());
        for (gint index = 0; index < count; ++index) {
            ErrorSlot childError;
            GRef<AtspiAccessible> child(
                atspi_accessible_get_child_at_index(desktop.get(), index, childError.out()));
            if (child && pidOf(child.get()) == pid) return child;
        }
        return nullptr;
    }

    // An element's role never changes, and its identity on the bus is never reused, so each is
    // asked once.
    AtspiRole roleOf(AtspiAccessible* element) {
        std::string identity = busNameOf(element) + pathOf(element);
        auto known = roles_.find(identity);
        if (known != roles_.end()) return known->second;
        ErrorSlot error;
        AtspiRole role = atspi_accessible_get_role(element, error.out());
        if (error.failed()) return ATSPI_ROLE_INVALID;
        roles_.emplace(std::move(identity), role);
        return role;
    }

    TextUnits& units() { return units_; }

    // Nothing reads or writes the text of a password field.
    bool isPassword(AtspiAccessible* element) { return isPasswordRole(roleOf(element)); }

    static std::string pathOf(AtspiAccessible* element) {
        const char* path = ATSPI_OBJECT(element)->path;
        return path ? path : "";
    }

    platform::AXElement handleOf(AtspiAccessible* element) {
        if (!element) return nullptr;
        if (roleOf(element) == ATSPI_ROLE_APPLICATION) return applicationHandle(pidOf(element));
        auto handle = std::make_shared<Handle>(Handle::Kind::element, pidOf(element));
        handle->busName = busNameOf(element);
        handle->path = pathOf(element);
        handle->accessible = retain(element);
        handle->thread = thread_;
        return handle;
    }

    platform::AXElement applicationHandle(pid_t pid) {
        return std::make_shared<Handle>(Handle::Kind::application, pid);
    }

    std::optional<AXValue> readSystemWide(std::string_view name) {
        if (name == "AXRole") return AXValue(std::string("AXSystemWide"));
        // Checking the focus asks the application that had it last.
        AtspiAccessible* known = focus_.lastKnown();
        return guarded(known ? busNameOf(known) : std::string(), std::optional<AXValue>(),
                       [&]() -> std::optional<AXValue> {
                           AtspiAccessible* focused = focus_.current();
                           if (!focused) return std::nullopt;
                           if (name == "AXFocusedUIElement") return elementValue(focused);
                           if (name == "AXFocusedApplication") {
                               return AXValue(applicationHandle(pidOf(focused)));
                           }
                           return std::nullopt;
                       });
    }

    pid_t focusedTerminal() {
        AtspiAccessible* known = focus_.lastKnown();
        return guarded(known ? busNameOf(known) : std::string(), pid_t{0}, [&] {
            AtspiAccessible* focused = focus_.current();
            return focused && roleOf(focused) == ATSPI_ROLE_TERMINAL ? pidOf(focused) : 0;
        });
    }

    std::optional<AXValue> readApplication(pid_t pid, std::string_view name) {
        GRef<AtspiAccessible> root = applicationRoot(pid);
        if (!root) return std::nullopt;
        if (name == "AXRole") return AXValue(std::string("AXApplication"));
        return guarded(busNameOf(root.get()), std::optional<AXValue>(),
                       [&] { return readApplicationAttribute(pid, root.get(), name); });
    }

    std::optional<AXValue> readApplicationAttribute(pid_t pid, AtspiAccessible* root,
                                                    std::string_view name) {
        if (name == "AXTitle") {
            ErrorSlot error;
            return text(atspi_accessible_get_name(root, error.out()));
        }
        if (name == "AXFocusedUIElement") return elementValue(focus_.focusedIn(pid, root));
        if (name == "AXFocusedWindow") return elementValue(focusedWindow(pid, root).get());
        return std::nullopt;
    }

    std::optional<AXValue> readElement(AtspiAccessible* element, std::string_view name) {
        ErrorSlot error;
        if (name == "AXRole" || name == "AXSubrole") {
            AtspiRole role = roleOf(element);
            std::optional<bool> multiLine = isMultiLine(element);
            if (role == ATSPI_ROLE_INVALID || !multiLine) return std::nullopt;
            AXRoles roles = axRolesOf(role, *multiLine);
            if (name == "AXRole") return AXValue(std::string(roles.role));
            if (roles.subrole) return AXValue(std::string(*roles.subrole));
            return std::nullopt;
        }
        if (name == "AXTitle") return text(atspi_accessible_get_name(element, error.out()));
        if (name == "AXDescription") {
            return text(atspi_accessible_get_description(element, error.out()));
        }
        if (name == "AXPlaceholderValue") return placeholderOf(element);
        if (name == "AXParent") return elementValue(parentOf(element).get());
        if (name == "AXWindow") return elementValue(windowOf(element).get());
        if (isPassword(element)) return std::nullopt;
        if (name == valueAttribute) {
            std::optional<std::string> value = text_field::value(element);
            if (!value) return std::nullopt;
            return AXValue(std::move(*value));
        }
        if (name == selectedRangeAttribute || name == selectedTextAttribute) {
            std::optional<std::string> value = text_field::value(element);
            std::optional<platform::TextRange> range =
                value ? text_field::selectedRange(element, *value, units_) : std::nullopt;
            if (!range) return std::nullopt;
            if (name == selectedRangeAttribute) return AXValue(*range);
            return AXValue(
                std::string(text::utf16Slice(*value, static_cast<std::size_t>(range->location),
                                             static_cast<std::size_t>(range->length))));
        }
        return std::nullopt;
    }

    std::optional<platform::Rect> boundsForRange(AtspiAccessible* element,
                                                 platform::TextRange range) {
        if (auto bounds =
                text_field::boundsForRange(element, range, ATSPI_COORD_TYPE_SCREEN, units_)) {
            return bounds;
        }
        std::optional<platform::Rect> within =
            text_field::boundsForRange(element, range, ATSPI_COORD_TYPE_WINDOW, units_);
        GRef<AtspiAccessible> window = within ? windowOf(element) : nullptr;
        if (!window) return std::nullopt;
        return placeOnScreen(*within, window.get(), pidOf(element), locate_);
    }

  private:
    std::optional<AXValue> elementValue(AtspiAccessible* element) {
        platform::AXElement handle = handleOf(element);
        if (!handle) return std::nullopt;
        return AXValue(std::move(handle));
    }

    // An element's parent; remembered, since every request walks the field's ancestors, a bus
    // call a level in toolkits that offer no cache (GTK 4: 14 ms for a text view's), and an
    // element keeps its parent as it keeps its window.
    GRef<AtspiAccessible> parentOf(AtspiAccessible* element) {
        std::string identity = busNameOf(element) + pathOf(element);
        auto known = parents_.find(identity);
        if (known != parents_.end()) return retain(known->second.get());
        ErrorSlot error;
        GRef<AtspiAccessible> parent(atspi_accessible_get_parent(element, error.out()));
        if (parent) parents_.emplace(std::move(identity), retain(parent.get()));
        return parent;
    }

    // The window an element is in; remembered, since the logic asks for the focused element's
    // window on every streamed snapshot, and elements do not move between windows.
    GRef<AtspiAccessible> windowOf(AtspiAccessible* element) {
        std::string identity = busNameOf(element) + pathOf(element);
        auto known = windows_.find(identity);
        if (known != windows_.end()) return retain(known->second.get());
        GRef<AtspiAccessible> window = searchWindowOf(element);
        if (window) windows_.emplace(std::move(identity), retain(window.get()));
        return window;
    }

    GRef<AtspiAccessible> searchWindowOf(AtspiAccessible* element) {
        GRef<AtspiAccessible> current = retain(element);
        for (int examined = 0; current && examined < maximumAncestry; ++examined) {
            AtspiRole role = roleOf(current.get());
            if (isWindowRole(role)) return current;
            if (role == ATSPI_ROLE_APPLICATION || role == ATSPI_ROLE_INVALID) return nullptr;
            ErrorSlot error;
            current.reset(atspi_accessible_get_parent(current.get(), error.out()));
        }
        return nullptr;
    }

    // The window holding the application's focused element; else its active window; else its
    // first window on screen.
    GRef<AtspiAccessible> focusedWindow(pid_t pid, AtspiAccessible* root) {
        if (AtspiAccessible* focused = focus_.focusedIn(pid, root)) {
            if (GRef<AtspiAccessible> window = windowOf(focused)) return window;
        }
        return std::move(focus_search::frontWindowOf(root, true).element);
    }

    std::shared_ptr<AtspiThread> thread_;
    WindowLocator locate_;
    std::map<std::string, pid_t, std::less<>> pids_;
    std::map<std::string, Clock::time_point, std::less<>> unresponsive_;
    std::map<std::string, AtspiRole, std::less<>> roles_;
    std::map<std::string, GRef<AtspiAccessible>, std::less<>> windows_;
    std::map<std::string, GRef<AtspiAccessible>, std::less<>> parents_;
    TextUnits units_;
    AtspiFocus focus_;
};

AtspiAccessibility::AtspiAccessibility(std::shared_ptr<AtspiThread> thread,
                                       AccessibilityBusStatus& status, WindowLocator locate)
    : thread_(std::move(thread)), status_(status) {
    thread_->call([this, &locate] { tree_ = std::make_unique<Tree>(thread_, std::move(locate)); });
}

AtspiAccessibility::~AtspiAccessibility() {
    thread_->call([this] { tree_.reset(); });
}

pid_t AtspiAccessibility::focusedTerminal() {
    return thread_->call([this] { return tree_->focusedTerminal(); });
}

platform::AXElement AtspiAccessibility::applicationElement(pid_t pid) {
    return std::make_shared<Handle>(Handle::Kind::application, pid);
}

platform::AXElement AtspiAccessibility::systemWideElement() {
    return std::make_shared<Handle>(Handle::Kind::systemWide, 0);
}

std::optional<AXValue> AtspiAccessibility::copyAttribute(const platform::AXElement& element,
                                                         std::string_view name) {
    const Handle* handle = asHandle(element);
    if (!handle) return std::nullopt;
    return thread_->call([&]() -> std::optional<AXValue> {
        switch (handle->kind) {
            case Handle::Kind::systemWide:
                return tree_->readSystemWide(name);
            case Handle::Kind::application:
                return tree_->readApplication(handle->pid, name);
            case Handle::Kind::element:
                return tree_->guarded(handle->busName, std::optional<AXValue>(), [&] {
                    return tree_->readElement(handle->accessible.get(), name);
                });
        }
        return std::nullopt;
    });
}

std::optional<AXValue> AtspiAccessibility::copyParameterizedAttribute(
    const platform::AXElement& element, std::string_view name, const AXValue& parameter) {
    const Handle* handle = asHandle(element);
    const auto* range = std::get_if<platform::TextRange>(&parameter);
    if (!handle || handle->kind != Handle::Kind::element || name != "AXBoundsForRange" || !range) {
        return std::nullopt;
    }
    return thread_->call([&] {
        return tree_->guarded(handle->busName, std::optional<AXValue>(),
                              [&]() -> std::optional<AXValue> {
                                  if (tree_->isPassword(handle->accessible.get())) {
                                      return std::nullopt;
                                  }
                                  std::optional<platform::Rect> bounds =
                                      tree_->boundsForRange(handle->accessible.get(), *range);
                                  if (!bounds) return std::nullopt;
                                  return AXValue(*bounds);
                              });
    });
}

AXError AtspiAccessibility::setAttribute(const platform::AXElement& element, std::string_view name,
                                         const AXValue& value) {
    const Handle* handle = asHandle(element);
    if (!handle) return platform::axIllegalArgument;
    if (handle->kind == Handle::Kind::application && name == manualAccessibility) {
        // Switching assistive technologies on is what makes such toolkits expose their trees.
        const bool* enabled = std::get_if<bool>(&value);
        if (!enabled) return platform::axIllegalArgument;
        return !*enabled || status_.enable() ? platform::axSuccess : platform::axCannotComplete;
    }
    if (handle->kind != Handle::Kind::element) return platform::axAttributeUnsupported;
    AtspiAccessible* target = handle->accessible.get();
    return thread_->call([&] {
        return tree_->guarded(handle->busName, platform::axCannotComplete, [&] {
            return writeAttribute(target, tree_->isPassword(target), name, value, tree_->units());
        });
    });
}

std::optional<bool> AtspiAccessibility::isAttributeSettable(const platform::AXElement& element,
                                                            std::string_view name) {
    const Handle* handle = asHandle(element);
    if (!handle) return std::nullopt;
    switch (handle->kind) {
        case Handle::Kind::systemWide:
            return false;
        case Handle::Kind::application:
            return name == manualAccessibility;
        case Handle::Kind::element:
            break;
    }
    return thread_->call([&] {
        return tree_->guarded(handle->busName, std::optional<bool>(), [&]() -> std::optional<bool> {
            AtspiAccessible* target = handle->accessible.get();
            if (tree_->isPassword(target)) return false;
            if (name == selectedTextAttribute || name == valueAttribute) {
                return text_field::isEditable(target);
            }
            if (name == selectedRangeAttribute) return text_field::value(target).has_value();
            return false;
        });
    });
}

std::optional<pid_t> AtspiAccessibility::pid(const platform::AXElement& element) {
    const Handle* handle = asHandle(element);
    if (!handle || handle->kind == Handle::Kind::systemWide || handle->pid == 0) {
        return std::nullopt;
    }
    return handle->pid;
}

bool AtspiAccessibility::equal(const platform::AXElement& a, const platform::AXElement& b) {
    const Handle* first = asHandle(a);
    const Handle* second = asHandle(b);
    if (!first || !second || first->kind != second->kind) return false;
    if (first->kind != Handle::Kind::element) return first->pid == second->pid;
    return first->busName == second->busName && first->path == second->path;
}

}  // namespace lumora::x11
