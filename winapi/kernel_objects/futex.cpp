#include "futex.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <climits>

#include "kvwin/waitable.h"

#ifndef FUTEX2_SIZE_U32
#define FUTEX2_SIZE_U32 0x02
#endif
#ifndef FUTEX2_PRIVATE
#define FUTEX2_PRIVATE 128
#endif

namespace kvwin {

void WakeAll(std::atomic<uint32_t>& word, bool shared) {
    ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word),
              shared ? FUTEX_WAKE : (FUTEX_WAKE | FUTEX_PRIVATE_FLAG), INT_MAX, nullptr, nullptr,
              0);
}

void FutexWaitAny(const std::vector<FutexWaiter>& waiters, uint32_t timeout_ms) {
    std::vector<futex_waitv> vector(waiters.size());
    for (size_t i = 0; i < waiters.size(); ++i) {
        vector[i] = {};
        vector[i].val = waiters[i].expected;
        vector[i].uaddr = reinterpret_cast<uintptr_t>(waiters[i].word);
        vector[i].flags = FUTEX2_SIZE_U32 | (waiters[i].shared ? 0 : FUTEX2_PRIVATE);
    }
    timespec deadline{};
    timespec* limit = nullptr;
    if (timeout_ms != UINT32_MAX) {
        deadline = MonotonicDeadline(timeout_ms);
        limit = &deadline;
    }
    ::syscall(SYS_futex_waitv, vector.data(), static_cast<unsigned>(vector.size()), 0, limit,
              CLOCK_MONOTONIC);
}

}  // namespace kvwin
