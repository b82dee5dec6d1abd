// Finding the focused element of the frontmost application robustly: a plain read first; only
// when that fails, and the caller allows it, the application is asked to expose its interface
// and polled briefly, giving up as soon as it is no longer in front.
#pragma once

#include <optional>

namespace lumora::FocusCapture {

inline constexpr int readsAfterEnabling = 11;

// `read` returns an optional value; `enable` is called for its effect only.
template <class SourceIsActive, class Read, class Enable, class Wait>
auto resolve(bool prepare, SourceIsActive sourceIsActive, Read read, Enable enable, Wait wait)
    -> decltype(read()) {
    using Value = decltype(read());
    auto keepIfActive = [&](Value value) { return sourceIsActive() ? value : Value(); };
    if (!sourceIsActive()) return Value();
    if (Value value = read()) return keepIfActive(std::move(value));
    if (!prepare) return Value();
    enable();
    if (!sourceIsActive()) return Value();
    for (int attempt = 1;; ++attempt) {
        if (Value value = read()) return keepIfActive(std::move(value));
        if (attempt == readsAfterEnabling) return Value();
        wait();
        if (!sourceIsActive()) return Value();
    }
}

}  // namespace lumora::FocusCapture
