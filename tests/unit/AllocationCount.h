// An operation count for the tests that show work growing in proportion to the
// input: the bytes that operator new hands out on this thread while a count runs.
// Every copy of a text or a buffer is such an allocation, so a reader that copies
// a growing line once per line shows up here as bytes squared, whatever the
// machine's speed.
#pragma once

#include <cstddef>

namespace korvane::testing {

std::size_t* SwapAllocationCounter(std::size_t* counter);

// Bytes allocated while `work` runs.
template <class Work>
std::size_t BytesAllocatedBy(Work&& work) {
  std::size_t bytes = 0;
  std::size_t* previous = SwapAllocationCounter(&bytes);
  work();
  SwapAllocationCounter(previous);
  return bytes;
}

}  // namespace korvane::testing
