#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/platform/sim/sim_fixture.h"

namespace lumora::sim {
namespace {

struct RequestCase {
    const char* name;
    std::string permissions;
    int statusAfter;
    bool granted;
};

// Microphone: 0 not determined, 1 restricted, 2 denied, 3 authorized.
TEST(Permissions, AMicrophoneRequestPromptsOnlyWhileUndecided) {
    const std::vector<RequestCase> cases = {
        {"grants", R"({"microphone": 0})", 3, true},
        {"denies", R"({"microphone": 0, "microphoneRequestResult": 2})", 2, false},
        {"alreadyDenied", R"({"microphone": 2, "microphoneRequestResult": 3})", 2, false},
        {"restricted", R"({"microphone": 1})", 1, false},
        {"alreadyAuthorized", "{}", 3, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto desktop = desktopFrom(R"({"permissions": )" + c.permissions + "}");
        std::optional<bool> granted;
        desktop->permissions().requestMicrophone([&](bool answer) { granted = answer; });
        EXPECT_EQ(granted, c.granted);
        EXPECT_EQ(desktop->permissions().microphoneStatus(), c.statusAfter);
    }
}

// Speech recognition: 0 not determined, 1 denied, 2 restricted, 3 authorized.
TEST(Permissions, ASpeechRequestAnswersWithTheResultingStatus) {
    const std::vector<RequestCase> cases = {
        {"grants", R"({"speechRecognition": 0})", 3, true},
        {"denies", R"({"speechRecognition": 0, "speechRecognitionRequestResult": 1})", 1, false},
        {"restricted", R"({"speechRecognition": 2})", 2, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto desktop = desktopFrom(R"({"permissions": )" + c.permissions + "}");
        std::optional<int> status;
        desktop->permissions().requestSpeechRecognition([&](int answer) { status = answer; });
        EXPECT_EQ(status, c.statusAfter);
        EXPECT_EQ(desktop->permissions().speechRecognitionStatus(), c.statusAfter);
    }
}

TEST(Permissions, AScreenRecordingRequestAnswersWhatTheUserChose) {
    auto declined = desktopFrom(R"({"permissions": {"screenCapture": false}})");
    EXPECT_FALSE(declined->permissions().screenCaptureRequest());
    EXPECT_FALSE(declined->permissions().screenCapturePreflight());

    auto granting = desktopFrom(
        R"({"permissions": {"screenCapture": false, "screenCaptureRequestResult": true}})");
    EXPECT_TRUE(granting->permissions().screenCaptureRequest());
    EXPECT_TRUE(granting->permissions().screenCapturePreflight());

    auto granted = desktopFrom("{}");
    EXPECT_TRUE(granted->permissions().screenCaptureRequest());
}

TEST(Permissions, EveryRequestIsRecorded) {
    auto desktop = desktopFrom(R"({"permissions": {"accessibility": false}})");
    auto& permissions = desktop->permissions();
    EXPECT_FALSE(permissions.accessibilityTrusted());
    permissions.requestMicrophone([](bool) {});
    permissions.requestSpeechRecognition([](int) {});
    permissions.screenCaptureRequest();
    permissions.requestMicrophone([](bool) {});
    EXPECT_EQ(desktop->permissionRequests(),
              (std::vector<std::string>{"microphone", "speechRecognition", "screenCapture",
                                        "microphone"}));
}

}  // namespace
}  // namespace lumora::sim
