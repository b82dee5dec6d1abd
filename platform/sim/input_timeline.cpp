#include "platform/sim/input_timeline.h"

namespace lumora::sim {

InputTimeline::InputTimeline(EventLoop& loop, SimDesktop& desktop)
    : loop_(loop),
      desktop_(desktop),
      entries_(desktop.inputTimeline()),
      start_(loop.now()),
      timer_(loop) {
    armNext();
}

void InputTimeline::armNext() {
    if (next_ == entries_.size()) return;
    const TimedInput& entry = entries_[next_];
    timer_.start(start_ + entry.at - loop_.now(), [this, &entry] {
        ++next_;
        desktop_.deliverInput(entry.event);
        armNext();
    });
}

}  // namespace lumora::sim
