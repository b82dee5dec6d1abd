#include "assistant/speech/local_recognizer.h"

#include <gtest/gtest.h>

#include "platform/sim/sim_desktop.h"
#include "runtime/error.h"

namespace lumora {
namespace {

TEST(LocalRecognizerTest, RefusesWithoutPermissionOrWithoutAnOnDeviceRecogniser) {
    struct Case {
        const char* scenario;
        const char* language;
        int refusal;  // 0: a recogniser
    };
    const std::vector<Case> cases = {
        {R"({})", "en-US", 0},
        {R"({"permissions": {"speechRecognition": 2}})", "en-US", 1},
        {R"({})", "ja-JP", 2},
        {R"({"speech": {"recognizers": {"en_US": {"onDevice": false}}}})", "en-US", 2},
    };
    for (const Case& c : cases) {
        auto desktop = sim::SimDesktop::load(c.scenario);
        int refusal = 0;
        try {
            EXPECT_TRUE(localRecognizer(desktop->speech(), desktop->permissions(), c.language));
        } catch (const Error& error) {
            EXPECT_EQ(error.domain, "Lumora");
            refusal = error.code;
            EXPECT_EQ(error.description,
                      error.code == 1 ? "Enable Speech Recognition permission first."
                                      : "On-device speech recognition is unavailable for this "
                                        "language. Check macOS speech language assets.");
        }
        EXPECT_EQ(refusal, c.refusal) << c.scenario << " " << c.language;
    }
}

}  // namespace
}  // namespace lumora
