// Thin wrappers over the futex system calls.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

namespace kvwin {

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
