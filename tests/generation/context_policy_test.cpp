#include "assistant/generation/context_policy.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/sim_desktop.h"

namespace lumora {
namespace {

// A desktop on the given macOS version whose environment has the vision switch set to
// `vision`, or removed.
std::unique_ptr<sim::SimDesktop> desktop(const std::string& osVersion,
                                         const std::optional<std::string>& vision) {
    nlohmann::json environment;
    environment["LUMORA_ASSISTANT_VISION_ENABLED"] =
        vision ? nlohmann::json(*vision) : nlohmann::json(nullptr);
    nlohmann::json scenario = {
        {"system", {{"osVersion", osVersion}, {"environment", environment}}}};
    return sim::SimDesktop::load(scenario.dump());
}

TEST(AssistantContextPolicyTest, OnlyOneEnablesVision) {
    struct Case {
        std::optional<std::string> value;
        bool enabled;
    };
    const std::vector<Case> cases = {
        {std::nullopt, false}, {"1", true},   {"true", false}, {"yes", false}, {" 1", false},
        {"1 ", false},         {"01", false}, {"0", false},    {"", false},
    };
    EXPECT_FALSE(AssistantContextPolicy::visionEnabledByDefault);
    for (const auto& c : cases) {
        auto world = desktop("27.0", c.value);
        EXPECT_EQ(AssistantContextPolicy::visionEnabled(world->system()), c.enabled)
            << c.value.value_or("(unset)");
    }
}

TEST(AssistantContextPolicyTest, VersionThresholds) {
    struct Case {
        int osMajor;
        bool screenText;
        bool cloudScreenText;
    };
    const std::vector<Case> cases = {
        {13, false, false}, {14, false, true}, {25, false, true},
        {26, true, true},   {27, true, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AssistantContextPolicy::supportsScreenText(c.osMajor), c.screenText) << c.osMajor;
        EXPECT_EQ(AssistantContextPolicy::supportsCloudScreenText(c.osMajor), c.cloudScreenText)
            << c.osMajor;
    }
}

TEST(AssistantContextPolicyTest, VisionNeedsImagesMacOS27AndTheSwitch) {
    struct Case {
        bool sdkSupportsImages;
        int osMajor;
        bool enabled;
        bool usesVision;
    };
    const std::vector<Case> cases = {
        {true, 27, true, true},   {true, 28, true, true},   {true, 26, true, false},
        {false, 27, true, false}, {true, 27, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AssistantContextPolicy::usesVision(c.sdkSupportsImages, c.osMajor, c.enabled),
                  c.usesVision)
            << c.sdkSupportsImages << " " << c.osMajor << " " << c.enabled;
    }
}

TEST(AssistantContextPolicyTest, SupportOnTheRunningSystem) {
    struct Case {
        std::string osVersion;
        std::optional<std::string> vision;
        bool modelTakesImages;
        bool screen;
        bool image;
    };
    const std::vector<Case> cases = {
        {"15.4", "1", true, false, false},         {"25.9", std::nullopt, true, false, false},
        {"26.0", "1", true, true, false},          {"26.4.1", std::nullopt, true, true, false},
        {"27.0", std::nullopt, true, true, false}, {"27.0", "true", true, true, false},
        {"27.0", "1", true, true, true},           {"28.1", "1", true, true, true},
        {"27.0", "1", false, true, false},
    };
    for (const auto& c : cases) {
        auto world = desktop(c.osVersion, c.vision);
        EXPECT_EQ(AssistantScreenSupport::isAvailable(world->system()), c.screen) << c.osVersion;
        EXPECT_EQ(AssistantImageSupport::isAvailable(world->system(), c.modelTakesImages), c.image)
            << c.osVersion << " " << c.vision.value_or("(unset)") << " " << c.modelTakesImages;
    }
}

}  // namespace
}  // namespace lumora
