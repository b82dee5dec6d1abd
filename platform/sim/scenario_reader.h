// Typed reading of scenario JSON that names the key it fails on. Every object is checked for
// keys nobody read, so a misspelt flag fails loudly instead of silently meaning nothing.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace lumora::sim {

class ScenarioObject {
  public:
    // Throws when `value` is not an object; `path` names it in messages ("apps[1]").
    ScenarioObject(const nlohmann::json& value, std::string path);

    std::optional<std::string> string(std::string_view key);
    std::optional<bool> boolean(std::string_view key);
    std::optional<std::int64_t> integer(std::string_view key, std::int64_t min, std::int64_t max);
    std::optional<double> number(std::string_view key);
    std::optional<std::vector<std::string>> strings(std::string_view key);
    std::optional<ScenarioObject> object(std::string_view key);
    // An array of objects; empty when the key is absent.
    std::vector<ScenarioObject> objects(std::string_view key);
    // The member as it is, for shapes only the caller knows (null, arrays of numbers).
    const nlohmann::json* member(std::string_view key);

    // The keys of an object used as a map (bundle identifiers, locales, key codes).
    std::vector<std::string> keys() const;
    // Throws for every key that was not read.
    void finish() const;
    [[noreturn]] void fail(std::string_view key, std::string_view problem) const;

  private:
    std::string pathOf(std::string_view key) const;

    const nlohmann::json& value_;
    std::string path_;
    std::set<std::string, std::less<>> read_;
};

// The error a malformed scenario raises.
[[noreturn]] void scenarioError(const std::string& description);

}  // namespace lumora::sim
