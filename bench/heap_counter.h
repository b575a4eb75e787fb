// Counts the heap allocations of the benchmark program, so that a benchmark
// can show how much memory a walk holds at its peak and how often it asks for
// memory per entry.
#pragma once

#include <cstddef>
#include <cstdint>

namespace heap_counter {

struct Snapshot {
  std::uint64_t allocations = 0;  // since the program started
  std::size_t liveBytes = 0;
  std::size_t peakBytes = 0;  // the most live at once since the last ResetPeak
};

Snapshot Now();
// Starts a new peak at the bytes live now.
void ResetPeak();

}  // namespace heap_counter
