// Thin wrappers over the futex system calls, and the deadline the timed waits share.
#pragma once

#include <time.h>

#include <atomic>
#include <cstdint>
#include <vector>

namespace kvwin {

// The CLOCK_MONOTONIC time `timeout_ms` from now, as the timed waits take it.
inline timespec MonotonicDeadline(uint32_t timeout_ms) {
    timespec deadline{};
    ::clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += timeout_ms / 1000;
    deadline.tv_nsec += static_cast<long>(timeout_ms % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    return deadline;
}

struct FutexWaiter {
    std::atomic<uint32_t>* word;
    uint32_t expected;
    bool shared;
};

// Sleeps until one of the words differs from its expected value, a wake-up arrives, or
// `timeout_ms` passes (UINT32_MAX: no limit). Spurious returns are allowed; callers look
// again.
void FutexWaitAny(const std::vector<FutexWaiter>& waiters, uint32_t timeout_ms);

}  // namespace kvwin
