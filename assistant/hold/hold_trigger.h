// The timing of one hold: a bound key that stays down for 0.35 seconds becomes active, and
// its release is then the end of a hold rather than a tap. Times are seconds on the loop's
// clock, compared to the microsecond like the loop's timers, so a timer due exactly at the
// threshold finds the hold ripe.
#pragma once

#include <optional>

namespace lumora {

struct HoldTrigger {
    enum class Release { none, tap, stop };

    static constexpr double activationDelay = 0.35;

    std::optional<double> began;
    bool active = false;

    // A second press while the key is down changes nothing.
    void press(double at);
    // True exactly once: when the key has been down long enough.
    bool activate(double at);
    Release release();
    // Whether the abandoned hold had become active.
    bool interrupt();

    bool operator==(const HoldTrigger&) const = default;
};

}  // namespace lumora
