// The seam through which tests replace the monotonic clock.
//
// Production never calls these. foundation/testing/virtual_clock.h builds on
// them; a test should use that instead of calling them directly.
#pragma once

namespace Mux {

// A source of monotonic time in microseconds (64 bits, never wraps).
using MonotonicSource = unsigned long long (*)();

// Installs `source` (null: the real CLOCK_MONOTONIC) and returns the one
// installed before.
MonotonicSource setMonotonicSource(MonotonicSource source);

// Empties the clock cache, so that the clocks read their sources again.
void clearTimeCache();

}  // namespace Mux
