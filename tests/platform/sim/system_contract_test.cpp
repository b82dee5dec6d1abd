// The system facts the simulated desktop does not override must be the machine's own: the
// same suite runs against the real Linux port and the simulated one.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux/linux_system.h"
#include "tests/platform/sim/sim_fixture.h"

namespace lumora::sim {
namespace {

struct RealSystem {
    platform::LinuxSystem system;
    platform::System& get() { return system; }
};

struct SimulatedSystem {
    std::unique_ptr<SimDesktop> desktop = desktopFrom("{}");
    platform::System& get() { return desktop->system(); }
};

template <class Source>
class SystemContract : public testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"HOME", "TMPDIR", "LUMORA_CONTRACT_PROBE"}) {
            if (const char* value = std::getenv(name)) saved_.emplace_back(name, value);
        }
    }
    void TearDown() override {
        for (const char* name : {"HOME", "TMPDIR", "LUMORA_CONTRACT_PROBE"}) ::unsetenv(name);
        for (const auto& [name, value] : saved_) ::setenv(name.c_str(), value.c_str(), 1);
    }

    Source source;
    platform::System& system = source.get();

  private:
    std::vector<std::pair<std::string, std::string>> saved_;
};

using Sources = testing::Types<RealSystem, SimulatedSystem>;
TYPED_TEST_SUITE(SystemContract, Sources);

TYPED_TEST(SystemContract, ReadsTheEnvironmentAtTheTimeOfTheCall) {
    ::unsetenv("LUMORA_CONTRACT_PROBE");
    EXPECT_EQ(this->system.environment("LUMORA_CONTRACT_PROBE"), std::nullopt);
    ::setenv("LUMORA_CONTRACT_PROBE", "seen", 1);
    EXPECT_EQ(this->system.environment("LUMORA_CONTRACT_PROBE"), "seen");
}

TYPED_TEST(SystemContract, DirectoriesFollowTheEnvironment) {
    ::setenv("HOME", "/home/contract", 1);
    ::setenv("TMPDIR", "/var/tmp/contract", 1);
    EXPECT_EQ(this->system.homeDirectory(), "/home/contract");
    EXPECT_EQ(this->system.temporaryDirectory(), "/var/tmp/contract");
    ::unsetenv("TMPDIR");
    EXPECT_EQ(this->system.temporaryDirectory(), "/tmp");
}

TYPED_TEST(SystemContract, UptimeNeverGoesBack) {
    double first = this->system.uptime();
    EXPECT_GT(first, 0);
    EXPECT_GE(this->system.uptime(), first);
}

}  // namespace
}  // namespace lumora::sim
