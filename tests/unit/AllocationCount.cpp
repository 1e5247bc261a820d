// The test program's operator new and delete, counting what is allocated while a
// counter is installed (see AllocationCount.h).
#include "AllocationCount.h"

#include <cstdlib>
#include <new>

namespace {

thread_local std::size_t* tCounter = nullptr;

void* Allocate(std::size_t size) {
  if (tCounter) *tCounter += size;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}

}  // namespace

namespace korvane::testing {

std::size_t* SwapAllocationCounter(std::size_t* counter) {
  std::size_t* previous = tCounter;
  tCounter = counter;
  return previous;
}

}  // namespace korvane::testing

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
