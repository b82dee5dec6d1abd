#include "platform/sim/scenario.h"

#include <limits>

#include "platform/sim/scenario_sections.h"
#include "platform/sim/scenario_values.h"
#include "runtime/base64.h"
#include "runtime/text.h"

namespace lumora::sim {

namespace {

constexpr std::int64_t maxPid = std::numeric_limits<pid_t>::max();
constexpr std::int64_t maxInt = std::numeric_limits<int>::max();

bool isTextRole(const std::optional<std::string>& role) {
    return role == "AXTextField" || role == "AXTextArea" || role == "AXComboBox";
}

std::set<std::string, std::less<>> readSettable(ScenarioObject& object,
                                                const std::optional<std::string>& role) {
    auto names = object.strings("settable");
    // Text roles accept text and selection writes unless the scenario says otherwise.
    if (!names) {
        if (!isTextRole(role)) return {};
        return {std::string(valueAttribute), std::string(selectedTextAttribute),
                std::string(selectedRangeAttribute)};
    }
    std::set<std::string, std::less<>> settable;
    for (const auto& name : *names) {
        if (name != valueAttribute && name != selectedTextAttribute &&
            name != selectedRangeAttribute) {
            object.fail("settable",
                        "may only hold AXValue, AXSelectedText and AXSelectedTextRange");
        }
        settable.insert(name);
    }
    return settable;
}

Element readElement(ScenarioObject& object, pid_t pid, const World& world) {
    Element element;
    auto id = object.string("id");
    if (!id) object.fail("id", "is required");
    if (world.element(*id)) object.fail("id", "repeats the element id \"" + *id + "\"");
    element.id = *id;
    element.pid = pid;
    element.role = object.string("role");
    element.subrole = object.string("subrole");
    element.title = object.string("title");
    element.description = object.string("description");
    element.placeholder = object.string("placeholder");
    element.value = object.string("value");
    if (auto selection = object.object("selection")) {
        element.selection = readRange(*selection);
        auto units = static_cast<long>(text::utf16Length(element.value.value_or("")));
        if (element.selection->location + element.selection->length > units) {
            object.fail("selection", "lies beyond the end of the value");
        }
    } else if (element.value) {
        element.selection =
            platform::TextRange{static_cast<long>(text::utf16Length(*element.value)), 0};
    }
    element.parent = object.string("parent");
    element.settable = readSettable(object, element.role);
    if (auto bounds = object.object("caretBounds")) element.caretBounds = readRect(*bounds);
    if (auto code = object.integer("rejectWrites", -maxInt - 1, -1)) {
        element.rejectWrites = static_cast<platform::AXError>(*code);
    }
    element.selectsInserted = object.boolean("selectsInserted").value_or(false);
    element.ignoresWrites = object.boolean("ignoresWrites").value_or(false);
    object.finish();
    return element;
}

// An application's references point into its own elements.
void checkReference(ScenarioObject& object, std::string_view key,
                    const std::optional<std::string>& id, const World& world, pid_t pid) {
    if (!id) return;
    const Element* target = world.element(*id);
    if (!target || target->pid != pid) {
        object.fail(key, "names \"" + *id + "\", which is not an element of this application");
    }
}

void readApp(ScenarioObject object, World& world) {
    App app;
    auto pid = object.integer("pid", 1, maxPid);
    if (!pid) object.fail("pid", "is required");
    app.info.pid = static_cast<pid_t>(*pid);
    if (world.app(app.info.pid)) object.fail("pid", "repeats the pid " + std::to_string(*pid));
    app.info.localizedName = object.string("name");
    app.info.bundleIdentifier = object.string("bundleId");
    app.terminated = object.boolean("terminated").value_or(false);
    app.exposesAfterManualAccessibility =
        object.boolean("exposesAfterManualAccessibility").value_or(false);
    auto elements = object.objects("elements");
    for (auto& element : elements) {
        world.elements.push_back(readElement(element, app.info.pid, world));
    }
    // Parents may come later in the list, so they are checked once all elements exist.
    for (std::size_t index = 0; index < elements.size(); ++index) {
        const Element& element = world.elements[world.elements.size() - elements.size() + index];
        checkReference(elements[index], "parent", element.parent, world, app.info.pid);
    }
    app.focusedElement = object.string("focusedElement");
    checkReference(object, "focusedElement", app.focusedElement, world, app.info.pid);
    app.focusedWindow = object.string("focusedWindow");
    checkReference(object, "focusedWindow", app.focusedWindow, world, app.info.pid);
    object.finish();
    world.apps.push_back(std::move(app));
}

Window readWindow(ScenarioObject object) {
    Window window;
    if (auto number = object.integer("number", 0, std::numeric_limits<std::uint32_t>::max())) {
        window.info.number = static_cast<std::uint32_t>(*number);
    }
    window.info.ownerPid = static_cast<pid_t>(object.integer("ownerPid", 0, maxPid).value_or(0));
    window.info.layer = static_cast<int>(object.integer("layer", -maxInt - 1, maxInt).value_or(0));
    window.info.name = object.string("name");
    if (auto bounds = object.object("bounds")) window.info.bounds = readRect(*bounds);
    window.info.alpha = object.number("alpha").value_or(1);
    window.scale = object.number("scale").value_or(1);
    if (!(window.scale > 0)) object.fail("scale", "must be greater than 0");
    if (auto image = object.object("image")) window.image = readImage(*image);
    object.finish();
    return window;
}

std::pair<std::string, std::string> readPasteboardEntry(ScenarioObject object) {
    auto type = object.string("type");
    if (!type) object.fail("type", "is required");
    std::string bytes;
    if (auto data = object.string("data")) {
        bytes = *data;
    } else if (auto encoded = object.string("base64")) {
        auto decoded = base64::decode(*encoded);
        if (!decoded) object.fail("base64", "is not valid base64");
        bytes = *decoded;
    }
    object.finish();
    return {*type, bytes};
}

void readPasteboard(ScenarioObject section, PasteboardState& pasteboard) {
    pasteboard.changeCount = static_cast<long>(
        section.integer("changeCount", 0, std::numeric_limits<long>::max()).value_or(0));
    if (const auto* items = section.member("items")) {
        if (!items->is_array()) section.fail("items", "must be an array of items");
        for (std::size_t index = 0; index < items->size(); ++index) {
            const auto& item = (*items)[index];
            std::string path = "pasteboard.items[" + std::to_string(index) + "]";
            if (!item.is_array()) scenarioError("Scenario key \"" + path + "\" must be an array");
            platform::PasteboardItem entries;
            for (std::size_t entry = 0; entry < item.size(); ++entry) {
                entries.push_back(readPasteboardEntry(
                    ScenarioObject(item[entry], path + "[" + std::to_string(entry) + "]")));
            }
            pasteboard.items.push_back(std::move(entries));
        }
    }
    for (auto& type : section.strings("unreadableTypes").value_or(std::vector<std::string>{})) {
        pasteboard.unreadableTypes.insert(std::move(type));
    }
    pasteboard.writesFail = section.boolean("writesFail").value_or(false);
    section.finish();
}

void readDesktop(ScenarioObject& root, World& world) {
    world.parentPid = static_cast<pid_t>(root.integer("parentPid", 1, maxPid).value_or(1));
    for (auto& app : root.objects("apps")) readApp(std::move(app), world);
    if (auto frontmost = root.integer("frontmost", 1, maxPid)) {
        if (!world.app(static_cast<pid_t>(*frontmost))) {
            root.fail("frontmost", "names no application of the scenario");
        }
        world.frontmost = static_cast<pid_t>(*frontmost);
    } else if (!world.apps.empty()) {
        world.frontmost = world.apps.front().info.pid;
    }
    if (auto installed = root.object("installedApplications")) {
        for (const auto& bundle : installed->keys()) {
            world.installedApplications[bundle] = *installed->string(bundle);
        }
        installed->finish();
    }
    for (auto& window : root.objects("windows"))
        world.windows.push_back(readWindow(std::move(window)));
    if (auto pasteboard = root.object("pasteboard"))
        readPasteboard(std::move(*pasteboard), world.pasteboard);
}

}  // namespace

void loadScenario(std::string_view json, World& world) {
    nlohmann::json document = nlohmann::json::parse(json, nullptr, false);
    if (document.is_discarded()) scenarioError("The scenario is not valid JSON");
    ScenarioObject root(document, "");
    readDesktop(root, world);
    if (auto section = root.object("permissions"))
        readPermissions(std::move(*section), world.permissions);
    if (auto section = root.object("system")) readSystem(std::move(*section), world.system);
    if (auto section = root.object("keyboard")) readKeyboard(std::move(*section), world.keyboard);
    if (auto section = root.object("speech")) readSpeech(std::move(*section), world.speech);
    if (auto section = root.object("audio")) readAudio(std::move(*section), world.audio);
    if (auto section = root.object("processes"))
        readProcesses(std::move(*section), world.processes);
    if (auto section = root.object("languageModel"))
        readLanguageModel(std::move(*section), world.model);
    root.finish();
}

}  // namespace lumora::sim
