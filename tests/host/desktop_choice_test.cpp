#include "assistant/host/desktop_choice.h"

#include <gtest/gtest.h>

namespace lumora {
namespace {

struct ChoiceCase {
    DesktopEnvironment environment;
    std::variant<DesktopKind, std::string> chosen;
};

TEST(DesktopChoice, FollowsTheVariableThenTheDisplayAndTheScenario) {
    const std::string noServer = "LUMORA_DESKTOP is \"x11\" but DISPLAY names no X server.";
    const std::vector<ChoiceCase> cases = {
        {{std::nullopt, ":0", std::nullopt}, DesktopKind::x11},
        {{std::nullopt, ":0", "world.json"}, DesktopKind::simulated},
        {{std::nullopt, std::nullopt, std::nullopt}, DesktopKind::simulated},
        {{"", "", ""}, DesktopKind::simulated},
        {{"sim", ":0", std::nullopt}, DesktopKind::simulated},
        {{"x11", ":0", "world.json"}, DesktopKind::x11},
        {{"x11", std::nullopt, std::nullopt}, noServer},
        {{"x11", "", std::nullopt}, noServer},
        {{"wayland", ":0", std::nullopt},
         "LUMORA_DESKTOP must be \"x11\" or \"sim\", not \"wayland\"."},
    };
    for (const ChoiceCase& c : cases) {
        SCOPED_TRACE(c.environment.desktop.value_or("(unset)") + " " +
                     c.environment.display.value_or("(unset)"));
        EXPECT_EQ(chooseDesktop(c.environment), c.chosen);
    }
}

}  // namespace
}  // namespace lumora
