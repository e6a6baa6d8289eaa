// A small bound on the memory script-filled objects may hold, for one test's lifetime.
#pragma once

#include <cstddef>

#include "kvwin/held_memory.h"

namespace kvtest {

class ScopedHeldMemoryBound {
  public:
    explicit ScopedHeldMemoryBound(size_t bound)
        : before_(kvwin::SetHeldMemoryBoundForTesting(bound)) {}
    ScopedHeldMemoryBound(const ScopedHeldMemoryBound&) = delete;
    ScopedHeldMemoryBound& operator=(const ScopedHeldMemoryBound&) = delete;
    ~ScopedHeldMemoryBound() { kvwin::SetHeldMemoryBoundForTesting(before_); }

  private:
    size_t before_;
};

}  // namespace kvtest
