#include "support/allocations/counting_new.h"

#include <cstdlib>
#include <new>

namespace testing_support {

namespace {
thread_local CountAllocations* current = nullptr;
}  // namespace

struct AllocationHooks {
  static void Allocated(std::size_t size) {
    CountAllocations* c = current;
    if (!c || (c->when_ && !c->when_())) return;
    ++c->stats_.allocations;
    if (size > c->stats_.largest) c->stats_.largest = size;
  }
  static void Freed(void* p) {
    CountAllocations* c = current;
    if (!p || !c || (c->when_ && !c->when_())) return;
    ++c->stats_.frees;
  }
};

CountAllocations::CountAllocations(bool (*when)()) : when_(when), outer_(current) { current = this; }
CountAllocations::~CountAllocations() { current = outer_; }

}  // namespace testing_support

namespace {

void* Allocate(std::size_t size) {
  testing_support::AllocationHooks::Allocated(size);
  void* p = std::malloc(size ? size : 1);
  if (!p) throw std::bad_alloc();
  return p;
}

void Free(void* p) {
  testing_support::AllocationHooks::Freed(p);
  std::free(p);
}

}  // namespace

// Every plain form, so that no allocation meets a free of another allocator.
void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { Free(p); }
void operator delete[](void* p) noexcept { Free(p); }
void operator delete(void* p, std::size_t) noexcept { Free(p); }
void operator delete[](void* p, std::size_t) noexcept { Free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Free(p); }
