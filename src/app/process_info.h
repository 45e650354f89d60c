// What the program measures of its own process: for the start-up figures and
// the benchmarks.
#pragma once

namespace vyrelo::app {

// The resident set size in kilobytes (VmRSS), -1 when it cannot be read.
long ResidentKilobytes();

// Milliseconds since the kernel started this process (clock-tick precision),
// -1 when it cannot be read.
double MillisecondsSinceProcessStart();

}  // namespace vyrelo::app
