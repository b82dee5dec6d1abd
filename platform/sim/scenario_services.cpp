#include <algorithm>
#include <limits>
#include <map>

#include "platform/sim/scenario_sections.h"
#include "platform/sim/scenario_values.h"

namespace lumora::sim {

namespace {

constexpr std::int64_t maxInt = std::numeric_limits<int>::max();

int readStatus(ScenarioObject& section, std::string_view key, int fallback) {
    return static_cast<int>(section.integer(key, 0, 3).value_or(fallback));
}

// "26.1" or "15.4.1": the parts the platform reports as major, minor and patch.
std::optional<platform::OsVersion> parseVersion(const std::string& text) {
    platform::OsVersion version{0, 0, 0, text};
    int* parts[] = {&version.major, &version.minor, &version.patch};
    std::size_t part = 0;
    bool digitSeen = false;
    for (char c : text) {
        if (c == '.' && digitSeen && part < 2) {
            ++part;
            digitSeen = false;
        } else if (c >= '0' && c <= '9' && *parts[part] < 100000) {
            *parts[part] = *parts[part] * 10 + (c - '0');
            digitSeen = true;
        } else {
            return std::nullopt;
        }
    }
    if (!digitSeen) return std::nullopt;
    return version;
}

KeyLayout readLayout(ScenarioObject section) {
    KeyLayout layout;
    for (const auto& key : section.keys()) {
        bool isCode = !key.empty() && key.size() <= 3 &&
                      key.find_first_not_of("0123456789") == std::string::npos &&
                      std::stoi(key) <= 127;
        if (!isCode) section.fail(key, "must be a key code from 0 to 127");
        layout[static_cast<std::uint16_t>(std::stoi(key))] = *section.string(key);
    }
    section.finish();
    return layout;
}

ProcessScript readProcess(ScenarioObject object) {
    ProcessScript script;
    script.exitStatus = static_cast<int>(object.integer("exitStatus", 0, 255).value_or(0));
    if (auto image = object.object("outputImage")) script.outputImage = readImage(*image);
    script.runsUntilTerminated = object.boolean("runsUntilTerminated").value_or(false);
    object.finish();
    return script;
}

}  // namespace

void readPermissions(ScenarioObject section, PermissionState& permissions) {
    permissions.microphone = readStatus(section, "microphone", permissions.microphone);
    permissions.speechRecognition =
        readStatus(section, "speechRecognition", permissions.speechRecognition);
    permissions.accessibility = section.boolean("accessibility").value_or(true);
    permissions.screenCapture = section.boolean("screenCapture").value_or(true);
    permissions.microphoneRequestResult =
        readStatus(section, "microphoneRequestResult", permissions.microphoneRequestResult);
    permissions.speechRecognitionRequestResult = readStatus(
        section, "speechRecognitionRequestResult", permissions.speechRecognitionRequestResult);
    permissions.screenCaptureRequestResult =
        section.boolean("screenCaptureRequestResult").value_or(false);
    section.finish();
}

void readSystem(ScenarioObject section, SystemOverrides& system) {
    if (auto text = section.string("osVersion")) {
        auto version = parseVersion(*text);
        if (!version) section.fail("osVersion", "must be a version such as \"26.1\"");
        system.version = *version;
    }
    system.locale = section.string("locale").value_or(system.locale);
    if (auto environment = section.object("environment")) {
        for (const auto& name : environment->keys()) {
            const auto* value = environment->member(name);
            if (value->is_null()) {
                system.environment[name] = std::nullopt;
            } else {
                system.environment[name] = environment->string(name);
            }
        }
        environment->finish();
    }
    system.homeDirectory = section.string("homeDirectory");
    system.temporaryDirectory = section.string("temporaryDirectory");
    section.finish();
}

namespace {

std::optional<platform::InputEventType> inputEventType(std::string_view name) {
    using Type = platform::InputEventType;
    static const std::map<std::string_view, Type> types = {
        {"keyDown", Type::keyDown},
        {"keyUp", Type::keyUp},
        {"flagsChanged", Type::flagsChanged},
        {"leftMouseDown", Type::leftMouseDown},
        {"rightMouseDown", Type::rightMouseDown},
        {"otherMouseDown", Type::otherMouseDown},
        {"scrollWheel", Type::scrollWheel},
        {"tapDisabledByTimeout", Type::tapDisabledByTimeout},
        {"tapDisabledByUserInput", Type::tapDisabledByUserInput},
    };
    auto found = types.find(name);
    if (found == types.end()) return std::nullopt;
    return found->second;
}

TimedInput readTimedInput(ScenarioObject entry) {
    TimedInput input;
    std::optional<double> at = entry.number("at");
    if (!at || *at < 0) entry.fail("at", "must be a number of seconds, 0 or more");
    input.at = *at;
    std::optional<platform::InputEventType> type =
        inputEventType(entry.string("type").value_or(""));
    if (!type) entry.fail("type", "must name an input event type");
    input.event.type = *type;
    input.event.keyCode =
        static_cast<std::uint16_t>(entry.integer("keyCode", 0, 0xFFFF).value_or(0));
    input.event.flags = static_cast<platform::EventFlags>(
        entry.integer("flags", 0, std::numeric_limits<std::int64_t>::max()).value_or(0));
    input.event.autorepeat = entry.boolean("autorepeat").value_or(false);
    if (auto location = entry.object("location")) {
        input.event.location = {location->number("x").value_or(0),
                                location->number("y").value_or(0)};
        location->finish();
    }
    entry.finish();
    return input;
}

}  // namespace

void readKeyboard(ScenarioObject section, KeyboardState& keyboard) {
    if (auto layout = section.object("layout")) keyboard.layout = readLayout(std::move(*layout));
    if (section.boolean("noLayoutData").value_or(false)) {
        if (section.member("layout")) section.fail("noLayoutData", "contradicts \"layout\"");
        keyboard.layout.reset();
    }
    keyboard.sessionFlags = static_cast<platform::EventFlags>(
        section.integer("sessionFlags", 0, std::numeric_limits<std::int64_t>::max()).value_or(0));
    if (const auto* pressed = section.member("pressedKeys")) {
        if (!pressed->is_array()) section.fail("pressedKeys", "must be an array of key codes");
        for (const auto& code : *pressed) {
            if (!code.is_number_unsigned() || code.get<std::uint64_t>() > 0xFFFF) {
                section.fail("pressedKeys", "must be an array of key codes");
            }
            keyboard.pressedKeys.insert(static_cast<std::uint16_t>(code.get<std::uint64_t>()));
        }
    }
    keyboard.keyEventsFail = section.boolean("keyEventsFail").value_or(false);
    keyboard.eventTapsRefused = section.boolean("eventTapsRefused").value_or(false);
    std::vector<ScenarioObject> entries = section.objects("input");
    for (ScenarioObject& entry : entries)
        keyboard.input.push_back(readTimedInput(std::move(entry)));
    std::stable_sort(keyboard.input.begin(), keyboard.input.end(),
                     [](const TimedInput& a, const TimedInput& b) { return a.at < b.at; });
    section.finish();
}

void readProcesses(ScenarioObject section, std::map<std::string, ProcessScript>& processes) {
    for (const auto& executable : section.keys()) {
        auto script = section.object(executable);
        processes[executable] = readProcess(std::move(*script));
    }
    section.finish();
}

}  // namespace lumora::sim
