// The one writer of event lines. Every line leaves through emit() (or writeEventLine() for
// text already serialised) under the process-wide output lock, flushed at once, so lines from
// different threads never interleave and the app sees each status change immediately.
#pragma once

#include <functional>
#include <mutex>
#include <string_view>

#include "runtime/json.h"

namespace lumora {

std::mutex& outputLock();

// Serialises `object` compactly and writes it as one line. Safe from any thread; never throws.
void emit(const json::Document& object);

void writeEventLine(std::string_view serialised);

// Where lines go: standard output unless a test installs its own destination. The
// destination is called with the lock held.
void setEventDestination(std::function<void(std::string_view line)> destination);
void resetEventDestination();

}  // namespace lumora
