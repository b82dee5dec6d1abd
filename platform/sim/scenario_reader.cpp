#include "platform/sim/scenario_reader.h"

#include "runtime/error.h"

namespace lumora::sim {

void scenarioError(const std::string& description) {
    throw Error("Lumora.Sim", 1, description);
}

ScenarioObject::ScenarioObject(const nlohmann::json& value, std::string path)
    : value_(value), path_(std::move(path)) {
    if (!value_.is_object()) {
        scenarioError(path_.empty() ? "The scenario must be a JSON object"
                                    : "Scenario key \"" + path_ + "\" must be an object");
    }
}

std::string ScenarioObject::pathOf(std::string_view key) const {
    return path_.empty() ? std::string(key) : path_ + "." + std::string(key);
}

void ScenarioObject::fail(std::string_view key, std::string_view problem) const {
    scenarioError("Scenario key \"" + pathOf(key) + "\" " + std::string(problem));
}

const nlohmann::json* ScenarioObject::member(std::string_view key) {
    auto found = value_.find(key);
    if (found == value_.end()) return nullptr;
    read_.emplace(key);
    return &*found;
}

std::optional<std::string> ScenarioObject::string(std::string_view key) {
    const nlohmann::json* value = member(key);
    if (!value) return std::nullopt;
    if (!value->is_string()) fail(key, "must be a string");
    return value->get<std::string>();
}

std::optional<bool> ScenarioObject::boolean(std::string_view key) {
    const nlohmann::json* value = member(key);
    if (!value) return std::nullopt;
    if (!value->is_boolean()) fail(key, "must be true or false");
    return value->get<bool>();
}

std::optional<std::int64_t> ScenarioObject::integer(std::string_view key, std::int64_t min,
                                                    std::int64_t max) {
    const nlohmann::json* value = member(key);
    if (!value) return std::nullopt;
    bool inRange = false;
    if (value->is_number_unsigned()) {
        auto number = value->get<std::uint64_t>();
        inRange = max >= 0 && number <= static_cast<std::uint64_t>(max) &&
                  static_cast<std::int64_t>(number) >= min;
    } else if (value->is_number_integer()) {
        auto number = value->get<std::int64_t>();
        inRange = number >= min && number <= max;
    }
    if (!inRange) {
        fail(key, "must be an integer from " + std::to_string(min) + " to " + std::to_string(max));
    }
    return value->get<std::int64_t>();
}

std::optional<double> ScenarioObject::number(std::string_view key) {
    const nlohmann::json* value = member(key);
    if (!value) return std::nullopt;
    if (!value->is_number()) fail(key, "must be a number");
    return value->get<double>();
}

std::optional<std::vector<std::string>> ScenarioObject::strings(std::string_view key) {
    const nlohmann::json* value = member(key);
    if (!value) return std::nullopt;
    if (!value->is_array()) fail(key, "must be an array of strings");
    std::vector<std::string> result;
    for (const auto& entry : *value) {
        if (!entry.is_string()) fail(key, "must be an array of strings");
        result.push_back(entry.get<std::string>());
    }
    return result;
}

std::optional<ScenarioObject> ScenarioObject::object(std::string_view key) {
    const nlohmann::json* value = member(key);
    if (!value) return std::nullopt;
    return ScenarioObject(*value, pathOf(key));
}

std::vector<ScenarioObject> ScenarioObject::objects(std::string_view key) {
    const nlohmann::json* value = member(key);
    if (!value) return {};
    if (!value->is_array()) fail(key, "must be an array");
    std::vector<ScenarioObject> result;
    for (std::size_t index = 0; index < value->size(); ++index) {
        result.emplace_back((*value)[index], pathOf(key) + "[" + std::to_string(index) + "]");
    }
    return result;
}

std::vector<std::string> ScenarioObject::keys() const {
    std::vector<std::string> result;
    for (const auto& [key, value] : value_.items()) result.push_back(key);
    return result;
}

void ScenarioObject::finish() const {
    for (const auto& [key, value] : value_.items()) {
        if (!read_.contains(key)) fail(key, "is not known");
    }
}

}  // namespace lumora::sim
