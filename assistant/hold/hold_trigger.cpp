#include "assistant/hold/hold_trigger.h"

#include <cmath>

namespace lumora {

namespace {

long long microseconds(double seconds) {
    return std::llround(seconds * 1e6);
}

}  // namespace

void HoldTrigger::press(double at) {
    if (began) return;
    began = at;
    active = false;
}

bool HoldTrigger::activate(double at) {
    if (!began || active) return false;
    if (microseconds(at) - microseconds(*began) < microseconds(activationDelay)) return false;
    active = true;
    return true;
}

HoldTrigger::Release HoldTrigger::release() {
    Release result = active ? Release::stop : began ? Release::tap : Release::none;
    *this = HoldTrigger{};
    return result;
}

bool HoldTrigger::interrupt() {
    bool wasActive = active;
    *this = HoldTrigger{};
    return wasActive;
}

}  // namespace lumora
