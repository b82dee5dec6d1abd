#include "platform/sim/state_dump.h"

#include "runtime/base64.h"
#include "runtime/text.h"

namespace lumora::sim {

namespace {

using json::OrderedDocument;

std::string eventTypeName(platform::InputEventType type) {
    switch (type) {
        case platform::InputEventType::keyDown:
            return "keyDown";
        case platform::InputEventType::keyUp:
            return "keyUp";
        case platform::InputEventType::flagsChanged:
            return "flagsChanged";
        case platform::InputEventType::leftMouseDown:
            return "leftMouseDown";
        default:
            return std::to_string(static_cast<std::uint32_t>(type));
    }
}

OrderedDocument fields(const World& world) {
    OrderedDocument list = OrderedDocument::array();
    for (const Element& element : world.elements) {
        if (!element.value) continue;
        OrderedDocument field;
        field["id"] = element.id;
        field["app"] = element.pid;
        field["value"] = *element.value;
        if (element.selection) {
            field["selection"] = {{"location", element.selection->location},
                                  {"length", element.selection->length}};
        }
        list.push_back(std::move(field));
    }
    return list;
}

OrderedDocument pasteboard(const PasteboardState& state) {
    OrderedDocument items = OrderedDocument::array();
    for (const auto& item : state.items) {
        OrderedDocument entries = OrderedDocument::array();
        for (const auto& [type, bytes] : item) {
            // Text stays readable; anything else is kept exactly, in base64.
            if (text::isValidUtf8(bytes)) {
                entries.push_back({{"type", type}, {"data", bytes}});
            } else {
                entries.push_back({{"type", type}, {"base64", base64::encode(bytes)}});
            }
        }
        items.push_back(std::move(entries));
    }
    return {{"changeCount", state.changeCount}, {"items", std::move(items)}};
}

OrderedDocument postedEvents(const std::vector<platform::InputEvent>& events) {
    OrderedDocument list = OrderedDocument::array();
    for (const auto& event : events) {
        list.push_back({{"type", eventTypeName(event.type)},
                        {"keyCode", event.keyCode},
                        {"flags", event.flags},
                        {"userData", event.userData}});
    }
    return list;
}

OrderedDocument modelCalls(const std::vector<ModelCall>& calls) {
    OrderedDocument list = OrderedDocument::array();
    for (const auto& call : calls) {
        list.push_back(
            {{"configuration", call.configuration == platform::ModelConfiguration::standard
                                   ? "standard"
                                   : "generalPermissive"},
             {"instructions", call.instructions},
             {"prompt", call.prompt},
             {"hasImage", call.hasImage},
             {"streamed", call.streamed}});
    }
    return list;
}

OrderedDocument launches(const std::vector<ProcessLaunch>& processes) {
    OrderedDocument list = OrderedDocument::array();
    for (const auto& process : processes) {
        list.push_back({{"executable", process.executable}, {"arguments", process.arguments}});
    }
    return list;
}

}  // namespace

OrderedDocument stateDocument(const World& world) {
    OrderedDocument state;
    state["frontmost"] = world.frontmost ? OrderedDocument(*world.frontmost) : OrderedDocument();
    state["fields"] = fields(world);
    state["pasteboard"] = pasteboard(world.pasteboard);
    state["activatedApplications"] = world.activated;
    state["openedURLs"] = world.openedURLs;
    state["postedKeyEvents"] = postedEvents(world.keyboard.posted);
    state["permissionRequests"] = world.permissions.requests;
    state["manualAccessibilityRequests"] = world.manualAccessibilityRequests;
    state["launchedProcesses"] = launches(world.launches);
    state["modelCalls"] = modelCalls(world.model.calls);
    return state;
}

}  // namespace lumora::sim
