#pragma once
// Counts what this thread allocates and frees through operator new and delete, for tests that
// show a piece of code allocating nothing (or nothing large). Linked only into the test programs
// that use it, since it replaces the global operators.
#include <cstddef>

namespace testing_support {

struct AllocationStats {
  long allocations = 0;
  long frees = 0;
  std::size_t largest = 0;  // bytes of the largest allocation
};

class CountAllocations {
 public:
  // Counts on this thread while the object lives, and only while `when` (if given) says so; it
  // must not allocate.
  explicit CountAllocations(bool (*when)() = nullptr);
  ~CountAllocations();
  CountAllocations(const CountAllocations&) = delete;
  CountAllocations& operator=(const CountAllocations&) = delete;

  const AllocationStats& Stats() const { return stats_; }

 private:
  AllocationStats stats_;
  bool (*when_)();
  CountAllocations* outer_;
  friend struct AllocationHooks;
};

}  // namespace testing_support
