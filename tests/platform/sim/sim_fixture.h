// Loading a desktop for a test, failing the test with the scenario's error when it is refused.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string_view>

#include "platform/sim/sim_desktop.h"
#include "runtime/error.h"

namespace lumora::sim {

inline std::unique_ptr<SimDesktop> desktopFrom(std::string_view scenario) {
    try {
        return SimDesktop::load(scenario);
    } catch (const Error& error) {
        ADD_FAILURE() << error.description;
        throw;
    }
}

}  // namespace lumora::sim
