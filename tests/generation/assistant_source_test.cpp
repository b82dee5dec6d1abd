#include "assistant/generation/assistant_source.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lumora {
namespace {

TEST(AssistantSourceTest, CompactJsonKeepsKeyOrderAndEscapesSlashes) {
    struct Case {
        AssistantSource source;
        std::string json;
    };
    const std::vector<Case> cases = {
        {{"", "", "", ""}, R"({"app":"","windowTitle":"","focusedRole":"","focusedLabel":""})"},
        {{"Safari", "https://example.org/a/b", "AXTextField", "Search"},
         R"({"app":"Safari","windowTitle":"https:\/\/example.org\/a\/b",)"
         R"("focusedRole":"AXTextField","focusedLabel":"Search"})"},
        {{"Notes", "Draft — Notes 👋", "AXTextArea", "say \"hi\" \\ bye"},
         R"({"app":"Notes","windowTitle":"Draft — Notes 👋","focusedRole":"AXTextArea",)"
         R"("focusedLabel":"say \"hi\" \\ bye"})"},
        {{"Mail", "line\nbreak\ttab\r", "AXTextArea", std::string("bell\x07", 5)},
         R"({"app":"Mail","windowTitle":"line\nbreak\ttab\r","focusedRole":"AXTextArea",)"
         R"("focusedLabel":"bell\u0007"})"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.source.json(), c.json);
        EXPECT_EQ(AssistantSource::fromJson(c.json), c.source) << c.json;
    }
}

TEST(AssistantSourceTest, DecodingRequiresAllFourStrings) {
    const std::vector<std::string> refused = {
        R"({"app":"A","windowTitle":"W","focusedRole":"R"})",
        R"({"windowTitle":"W","focusedRole":"R","focusedLabel":"L"})",
        R"({"app":"A","windowTitle":null,"focusedRole":"R","focusedLabel":"L"})",
        R"({"app":"A","windowTitle":"W","focusedRole":3,"focusedLabel":"L"})",
        R"(["A","W","R","L"])",
        R"({"app":"A","windowTitle":"W","focusedRole":"R","focusedLabel":"L")",
        "",
    };
    for (const auto& json : refused) {
        EXPECT_EQ(AssistantSource::fromJson(json), std::nullopt) << json;
    }
    EXPECT_EQ(
        AssistantSource::fromJson(
            R"({"focusedLabel":"L","extra":1,"focusedRole":"R","windowTitle":"W","app":"A"})"),
        (AssistantSource{"A", "W", "R", "L"}));
}

}  // namespace
}  // namespace lumora
