// Counts every C++ heap allocation of the program, on every thread, for the benchmarks whose
// target is none on a path: linking allocation_count.cpp replaces the global operator new.
#pragma once

namespace lumora::bench {

// How many allocations the program has made so far.
long allocationsSoFar();

}  // namespace lumora::bench
