// The pieces of a conversation with the helper on the real desktop: command lines, the
// helper's environment on a test desktop, and the events it answered with, by phase.
#pragma once

#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/e2e/child_process.h"
#include "tests/support/test_desktop.h"

namespace lumora::testing {

// Right Option by its X key code (RALT on the test server's keymap): named Alt_R, xdotool would
// press the Alt modifier it maps to first, which is Alt_L.
inline const std::string rightOptionKey = "108";

inline std::string commandLine(const nlohmann::json& command) {
    return command.dump() + "\n";
}

// The desktop's variables, with the real desktop chosen.
inline std::map<std::string, std::string> environmentOn(const test_support::TestDesktop& desktop) {
    std::map<std::string, std::string> environment;
    for (const std::string& entry : desktop.environment()) {
        std::size_t equals = entry.find('=');
        environment[entry.substr(0, equals)] = entry.substr(equals + 1);
    }
    environment["LUMORA_DESKTOP"] = "x11";
    environment.erase("LUMORA_SIM_SCENARIO");
    return environment;
}

inline std::vector<nlohmann::json> eventsOf(const ProcessResult& result, const std::string& phase) {
    std::vector<nlohmann::json> found;
    for (const std::string& text : result.lines()) {
        nlohmann::json event = nlohmann::json::parse(text);
        if (event["phase"] == phase) found.push_back(std::move(event));
    }
    return found;
}

}  // namespace lumora::testing
